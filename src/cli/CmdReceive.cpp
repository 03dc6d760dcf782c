#include "cli/CmdReceive.h"

#include "app/Prompter.h"
#include "startup/mdlMain.h"
#include "cli/CliInterrupt.h"
#include "cli/CmdImport.h"
#include "cli/CliSession.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/CBBS.h"
#include "transfer/LoadRun.h"
#include "transfer/TextIndexRun.h"
#include "transfer/mdlErrorLog.h"

#include <QCoreApplication>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Request
{
    std::optional<LoadRun::Selection> selection;
    bool full = false;
    QList<int> boards;
};

std::optional<Request> parse(const QStringList &args)
{
    Request request;
    for (const QString &arg : args) {
        bool isNumber = false;
        const int id = arg.toInt(&isNumber);
        if (arg == u"--full"_s)
            request.full = true;
        else if (arg == u"--visit"_s && !request.selection)
            request.selection = LoadRun::Selection::Visit;
        else if (arg == u"--all"_s && !request.selection)
            request.selection = LoadRun::Selection::AllBoards;
        else if (isNumber)
            request.boards.append(id);
        else
            return std::nullopt;
    }
    // Visit and all-boards runs receive unread messages of their own boards only.
    const bool valid = request.selection ? request.boards.isEmpty() && !request.full
                                         : !request.boards.isEmpty();
    return valid ? std::optional(request) : std::nullopt;
}

/** Writes an entry the analyser could not use to its board's error log. */
void logBrokenEntry(QTextStream &err, int bbsId, const QString &entry, const QString &message)
{
    err << message << Qt::endl;
    CBBSProperty board;
    if (!board.GetProperty(bbsId, *gDB) || !mdlErrorLog::AppendErrorLog(board.GetErrorLogFileName(), entry))
        err << u"エラーログに書き込めませんでした。"_s << Qt::endl;
}

/** The messages the run's boards stored, cancelled boards included. */
int storedCount(const LoadRun &run)
{
    int stored = 0;
    for (const LoadRun::Outcome &outcome : run.Outcomes())
        stored += outcome.SaveCount;
    return stored;
}

} // namespace

int runReceive(CliContext &ctx)
{
    const std::optional<Request> request = parse(ctx.args);
    if (!request) {
        return usageError(ctx, "receive");
    }
    CliSession session;
    if (!session.Started())
        return CliFailed;

    CBBS bbs;
    bbs.Initialize(gDB.get());
    QObject::connect(&bbs, &CBBS::StateChanged, [&ctx](const QString &text) {
        if (!text.isEmpty())
            ctx.err << text << Qt::endl;
    });
    QObject::connect(&bbs, &CBBS::LoadError, [&ctx](int bbsId, const QString &entry, const QString &message) {
        logBrokenEntry(ctx.err, bbsId, entry, message);
    });

    LoadRun run(bbs, *gDB);
    QObject::connect(&run, &LoadRun::BoardStarted, [&ctx](const CBBSProperty &board) {
        ctx.err << LoadRun::StartText(board) << Qt::endl;
    });
    QObject::connect(&run, &LoadRun::BoardFinished, [&ctx](const LoadRun::Outcome &outcome) {
        ctx.out << outcome.BBS_ID << u'\t' << outcome.Text;
        if (!outcome.Error.isEmpty())
            ctx.out << u'\t' << outcome.Error;
        ctx.out << Qt::endl;
    });

    QList<int> boards = request->boards;
    if (request->selection) {
        const std::optional<QList<int>> chosen = run.ChooseBoards(*request->selection);
        if (!chosen)
            return CliFailed;
        if (chosen->isEmpty()) {
            prompter().information(LoadRun::NoBoardsText());
            return session.Finish(CliOk);
        }
        boards = *chosen;
    }
    // The run advances on the event loop; it ends the loop when it has ended. A signal ends
    // it at the next commit.
    QObject::connect(&run, &LoadRun::Finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    TextIndexRun indexer([] { return gDB.get(); });
    const CliInterrupt interrupt([&] {
        run.StopAfterBoard();
        bbs.Cancel();
        indexer.Stop();
    });
    if (run.Start(boards, !request->full))
        QCoreApplication::exec();
    if (interrupt.Signal()) {
        ctx.out << storedCount(run) << u"件受信しました。中断しました。"_s << Qt::endl;
        return session.Finish(interrupt.ExitStatus());
    }
    indexPendingRows(indexer, ctx.err);
    if (interrupt.Signal())
        return session.Finish(interrupt.ExitStatus());
    return session.Finish(run.AnyFailed() ? CliFailed : CliOk);
}
