#include "cli/CmdExport.h"

#include "cli/CliInterrupt.h"
#include "cli/CliSession.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/ExportRun.h"

#include <QCoreApplication>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Request
{
    int board = 0;
    QString file;
    int from = 0;
    int to = std::numeric_limits<int>::max();
};

std::optional<int> number(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<Request> parse(const QStringList &args)
{
    Request request;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg != u"--from"_s && arg != u"--to"_s) {
            positional << arg;
            continue;
        }
        const std::optional<int> bound = number(args.value(++i));
        if (!bound)
            return std::nullopt;
        (arg == u"--from"_s ? request.from : request.to) = *bound;
    }
    const std::optional<int> board = number(positional.value(0));
    if (positional.size() != 2 || !board || positional.at(1).isEmpty())
        return std::nullopt;
    request.board = *board;
    request.file = positional.at(1);
    return request;
}

} // namespace

int runExport(CliContext &ctx)
{
    const std::optional<Request> request = parse(ctx.args);
    if (!request)
        return usageError(ctx, "export");
    CliSession session;
    if (!session.Started())
        return CliFailed;

    CBBSProperty board;
    if (!board.GetProperty(request->board, *gDB)) {
        ctx.err << u"no board "_s << request->board << Qt::endl;
        return CliFailed;
    }
    ExportRun run;
    ExportRun::Result result;
    QObject::connect(&run, &ExportRun::Finished, [&result](const ExportRun::Result &outcome) {
        result = outcome;
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    if (!run.StartBoard(*gDB, request->board, board.BBSType(), request->file, request->from, request->to)) {
        ctx.err << u"board "_s << request->board << u" has no log layout (type "_s << board.BBSType() << u")"_s
                << Qt::endl;
        return session.Finish(CliFailed);
    }
    const CliInterrupt interrupt([&run] { run.Cancel(); });
    QCoreApplication::exec();
    ctx.out << result.Outcome << Qt::endl;
    if (interrupt.Signal())
        return session.Finish(interrupt.ExitStatus());
    return session.Finish(result.Written > 0 ? CliOk : CliFailed);
}
