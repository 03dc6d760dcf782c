#include "cli/CmdStartup.h"

#include "app/mdlApp.h"
#include "app/mdlText.h"
#include "startup/mdlMain.h"
#include "cli/CliSession.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"

#include <QFileInfo>
#include <QHash>

using namespace Qt::StringLiterals;

namespace {

std::optional<QHash<int, qint64>> unreadCounts(Database &db)
{
    std::optional<Recordset> rs = db.OpenRecordset(
        u"SELECT BBS_ID, Count(*) AS Unread FROM Message WHERE Read = False GROUP BY BBS_ID"_s);
    if (!rs)
        return std::nullopt;
    QHash<int, qint64> counts;
    for (; !rs->IsEOF(); rs->MoveNext())
        counts.insert(rs->Value(0).toInt(), rs->Value(1).toLongLong());
    return counts;
}

/** Prints why the board list cannot be read, and what to do when a table is missing. */
int listFailed(CliContext &ctx, const DbError &error)
{
    ctx.err << u"掲示板の一覧を読めませんでした。"_s << error.description << Qt::endl;
    if (error.number == DbError::NoSuchTable)
        ctx.err << u"データベースファイルの表が失われています。バックアップした log.mdb があれば、"
                   "Tessera と tessera-cli を終了してから、それと置き換えてください。"_s
                << Qt::endl;
    return CliFailed;
}

} // namespace

int runBoards(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return usageError(ctx, "boards");
    CliSession session;
    if (!session.Started())
        return CliFailed;
    const std::optional<QHash<int, qint64>> unread = unreadCounts(*gDB);
    if (!unread)
        return listFailed(ctx, gDB->LastError());
    std::optional<Recordset> boards = gDB->OpenRecordset(
        u"SELECT BBS_ID, ListOrder, BBSType, VisitLoad, BBS_Name FROM BBS ORDER BY ListOrder, BBS_ID"_s);
    if (!boards)
        return listFailed(ctx, gDB->LastError());
    for (; !boards->IsEOF(); boards->MoveNext()) {
        const int id = boards->Value(0).toInt();
        ctx.out << id << u'\t' << boards->Value(1).toInt() << u'\t' << boards->Value(2).toInt()
                << u'\t' << (boards->Value(3).toBool() ? u"True"_s : u"False"_s) << u'\t'
                << unread->value(id) << u'\t' << mdlText::OneField(boards->Value(4).toString()) << u'\n';
    }
    ctx.out.flush();
    return session.Finish(CliOk);
}

int runCompact(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return usageError(ctx, "compact");
    CliSession session;
    if (!session.Started())
        return CliFailed;
    return session.Finish(mdlDatabase::CompactLogDatabase(gDB) ? CliOk : CliFailed);
}

namespace {

int printReport(CliContext &ctx, const mdlDatabase::MaintenanceReport &report)
{
    QTextStream &stream = report.ok ? ctx.out : ctx.err;
    for (const QString &line : report.lines)
        stream << line << u'\n';
    stream.flush();
    return report.ok ? CliOk : CliFailed;
}

} // namespace

int runCheck(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return usageError(ctx, "check");
    return printReport(ctx, mdlDatabase::CheckLogDatabase(mdlMain::LogDatabasePath()));
}

namespace {

/** A file named on the command line: from the current folder, else from the program folder. */
QString fileArgument(const QString &name)
{
    const QFileInfo here(name);
    return here.isAbsolute() || here.exists() ? here.absoluteFilePath() : mdlApp::GetAppPath() + name;
}

} // namespace

int runRepair(CliContext &ctx)
{
    if (ctx.args.size() > 1)
        return usageError(ctx, "repair");
    const QString database = mdlMain::LogDatabasePath();
    const QString path = ctx.args.isEmpty() ? database : fileArgument(ctx.args.first());
    mdlDatabase::MaintenanceReport report = mdlDatabase::RepairLogDatabase(path);
    if (report.ok && QFileInfo(path).canonicalFilePath() != QFileInfo(database).canonicalFilePath())
        report.lines.append(u"修復したデータを使うには、Tessera と tessera-cli を終了してから、%1 を %2 と置き換えてください。"_s
                                .arg(path, database));
    return printReport(ctx, report);
}
