#include "cli/CmdImport.h"

#include "app/mdlOption.h"
#include "cli/CliInterrupt.h"
#include "cli/CliSession.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "db/TextIndex.h"
#include "transfer/CBBS.h"
#include "transfer/ImportRun.h"
#include "transfer/TextIndexRun.h"
#include "transfer/mdlErrorLog.h"

#include <QCoreApplication>
#include <memory>

using namespace Qt::StringLiterals;

int runImport(CliContext &ctx)
{
    bool idOk = false;
    const int bbsId = ctx.args.value(0).toInt(&idOk);
    const QStringList files = ctx.args.mid(1);
    if (!idOk || files.isEmpty()) {
        return usageError(ctx, "import");
    }
    CliSession session;
    if (!session.Started())
        return CliFailed;

    CBBSProperty board;
    if (!board.GetProperty(bbsId, *gDB)) {
        ctx.err << u"no board "_s << bbsId << Qt::endl;
        return CliFailed;
    }
    if (!ImportRun::ConfirmImport(*gDB, board, files))
        return CliFailed;

    CBBS bbs;
    bbs.Initialize(gDB.get());
    ImportRun run(bbs);
    QObject::connect(&bbs, &CBBS::StateChanged, [&ctx](const QString &text, bool, bool addLog) {
        if (addLog)
            ctx.err << text << Qt::endl;
    });
    QObject::connect(&bbs, &CBBS::LoadError, [&](int, const QString &entry, const QString &message) {
        mdlErrorLog::AppendErrorLog(board.GetErrorLogFileName(), entry);
        ctx.err << message << Qt::endl;
    });
    QObject::connect(&run, &ImportRun::InfoChanged, [&ctx](const QString &text, int row, bool addLog) {
        if (addLog && row == 1)
            ctx.err << text << Qt::endl;
    });

    // The run advances on the event loop; it ends the loop when it has ended.
    ImportRun::Result result;
    QObject::connect(&run, &ImportRun::Finished, [&result](const ImportRun::Result &outcome) {
        result = outcome;
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    // A signal ends the run at the next commit, or the indexing after it at its next batch.
    TextIndexRun indexer([] { return gDB.get(); });
    const CliInterrupt interrupt([&] {
        bbs.Cancel();
        indexer.Stop();
    });
    if (run.Start(bbsId, files, mdlOption::ImportReadMode))
        QCoreApplication::exec();
    if (interrupt.Signal()) {
        ctx.out << result.Total << u"件インポートしました。中断しました。"_s << Qt::endl;
        return session.Finish(interrupt.ExitStatus());
    }
    ctx.out << result.Outcome << Qt::endl;
    indexPendingRows(indexer, ctx.err);
    if (interrupt.Signal())
        return session.Finish(interrupt.ExitStatus());
    return session.Finish(result.NotImported > 0 || result.Cancelled ? CliFailed : CliOk);
}

void indexPendingRows(TextIndexRun &indexer, QTextStream &err)
{
    const qint64 total = gDB && gDB->HasTextIndex() ? TextIndex::PendingCount(*gDB).value_or(0) : 0;
    if (total >= TextIndex::ProgressFrom) {
        auto done = std::make_shared<qint64>(0);
        QObject::connect(&indexer, &TextIndexRun::Indexed, &indexer, [&err, done, total](int rows) {
            err << '\r' << TextIndex::ProgressText(*done += rows, total) << Qt::flush;
        });
        QObject::connect(&indexer, &TextIndexRun::Finished, &indexer, [&err] { err << Qt::endl; });
    }
    QObject::connect(&indexer, &TextIndexRun::Finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    indexer.Start(total >= TextIndex::ProgressFrom ? TextIndex::BuildBatch : TextIndex::PendingBatch);
    QCoreApplication::exec();
}
