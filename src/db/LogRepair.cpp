#include "db/mdlDatabase.h"

#include "app/mdlApp.h"
#include "db/DatabaseLock.h"
#include "db/LogDatabaseParts.h"
#include "db/SqliteErrors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace mdlDatabase {

namespace {

/** How long check and repair wait for another process's compaction. */
constexpr int WaitMs = 60000;
/** Marks files made by this program (PRAGMA application_id), as new files carry it. */
constexpr int ApplicationId = 0x54535241;

MaintenanceReport failure(const QString &line)
{
    return {false, {line}};
}

/** The name beside @p path that keeps the damaged file: log_damaged_yyyyMMdd-HHmmss.mdb. */
QString damagedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString stem = QDir(info.absolutePath()).filePath(
        info.completeBaseName() + u"_damaged_"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s));
    QString candidate = stem + u".mdb"_s;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + u'_' + QString::number(n) + u".mdb"_s;
    return candidate;
}

/** Runs the sqlite3 tool; its standard input and output are files. Empty when it succeeded. */
QString runTool(const QString &tool, const QStringList &args, const QString &input, const QString &output)
{
    QProcess process;
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    if (!output.isEmpty())
        process.setStandardOutputFile(output, QIODevice::Append);
    process.start(tool, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return u"sqlite3 が失敗しました: "_s + QString::fromUtf8(process.readAllStandardError()).trimmed()
            + process.errorString();
    return {};
}

/** Appends @p text to @p path; false when it cannot. */
bool appendText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(text) == text.size();
}

/**
 * A dump that met damaged rows ends with a rollback, so that replaying it stores nothing:
 * it is made to commit what it could read instead.
 */
bool commitDespiteErrors(const QString &sqlFile)
{
    static const QByteArray rollback = "ROLLBACK; -- due to errors\n";
    QFile file(sqlFile);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 tailStart = std::max<qint64>(0, file.size() - 200);
    if (!file.seek(tailStart))
        return false;
    const qsizetype at = file.readAll().lastIndexOf(rollback);
    if (at < 0)
        return true;
    return file.resize(tailStart + at) && file.seek(tailStart + at) && file.write("COMMIT;\n") == 8;
}

/**
 * Writes what SQLite can read of @p path as SQL text into @p sqlFile. The tool's ".recover"
 * reads every page, also those no table reaches any more; where the tool cannot (a library
 * without the page table, as Debian 12's), ".dump" reads each table forward and, past a
 * damaged page, backward from its end.
 */
QString recoverAsSql(const QString &tool, const QString &path, const QString &sqlFile)
{
    const QByteArray header = "PRAGMA encoding='UTF-16le';\n";
    QFile::remove(sqlFile);
    if (!appendText(sqlFile, header))
        return u"一時ファイル '%1' に書き込めません。"_s.arg(sqlFile);
    if (runTool(tool, {path, u".recover"_s}, {}, sqlFile).isEmpty())
        return {};
    QFile::remove(sqlFile);
    if (!appendText(sqlFile, header))
        return u"一時ファイル '%1' に書き込めません。"_s.arg(sqlFile);
    runTool(tool, {path, u".dump"_s}, {}, sqlFile); // reports errors for the damaged rows
    if (!commitDespiteErrors(sqlFile)
        || !appendText(sqlFile, "PRAGMA application_id=" + QByteArray::number(ApplicationId) + ";\n"))
        return u"一時ファイル '%1' に書き込めません。"_s.arg(sqlFile);
    return {};
}

/** The recovered file must be sound and hold the log tables; returns its message count. */
std::optional<qint64> verifiedMessages(const QString &file, QString *why)
{
    DbError error;
    std::unique_ptr<Database> db = Database::Open(file, &error);
    if (!db) {
        *why = error.description;
        return std::nullopt;
    }
    const std::optional<QStringList> check = db->IntegrityCheck();
    const std::optional<Recordset> count = db->OpenRecordset(u"SELECT count(*) FROM Message"_s);
    if (!check || *check != QStringList{u"ok"_s} || !count) {
        *why = u"復旧したファイルも検査に通りませんでした。"_s;
        return std::nullopt;
    }
    return count->Value(0, 0).toLongLong();
}

bool holdsLostAndFound(const QString &file)
{
    std::unique_ptr<Database> db = Database::Open(file);
    return db && db->TableExists(u"lost_and_found"_s);
}

} // namespace

MaintenanceReport CheckLogDatabase(const QString &path)
{
    if (!QFileInfo::exists(path))
        return failure(u"データベースファイル '%1' がありません。"_s.arg(path));
    QString why;
    const std::unique_ptr<DatabaseLock> lock = DatabaseLock::Acquire(path, DatabaseLock::Mode::Shared, WaitMs, &why);
    if (!lock)
        return failure(why);
    DbError error;
    std::unique_ptr<Database> db = Database::Open(path, &error);
    std::optional<QStringList> check = db ? db->IntegrityCheck() : std::nullopt;
    if (db && !check)
        error = db->LastError();
    if (!check && error.number != DbError::Damaged)
        return failure(error.description);
    if (check && *check == QStringList{u"ok"_s})
        return {true, {u"データベースファイル '%1' に問題は見つかりませんでした。"_s.arg(path)}};
    MaintenanceReport report{false, check.value_or(QStringList{})};
    report.lines.append(u"データベースファイル '%1' が壊れています。"_s.arg(path));
    report.lines.append(u"「tessera-cli repair」で修復してください（他の Tessera と tessera-cli を終了してから）。"_s);
    return report;
}

MaintenanceReport RepairLogDatabase(const QString &path)
{
    const QString tool = QStandardPaths::findExecutable(u"sqlite3"_s);
    if (tool.isEmpty())
        return failure(u"修復には sqlite3 コマンドが必要ですが、見つかりません。"
                       "sqlite3 パッケージをインストールしてから（apt install sqlite3）やり直してください。"
                       "データベースファイルは変更していません。"_s);
    if (!QFileInfo::exists(path))
        return failure(u"データベースファイル '%1' がありません。"_s.arg(path));
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(path, DatabaseLock::Mode::Exclusive, 0);
    if (!alone)
        return failure(u"他のプロセス（Tessera または tessera-cli）がデータベースを使用中のため、修復できません。"
                       "それらを終了してから、もう一度実行してください。"_s);
    const QString folder = QFileInfo(path).absolutePath();
    const QString sqlFile = mdlApp::GetTempFile(folder, TempPrefix);
    const QString newFile = mdlApp::GetTempFile(folder, TempPrefix);
    const auto cleanUp = [&] {
        QFile::remove(sqlFile);
        QFile::remove(newFile);
    };
    if (sqlFile.isEmpty() || newFile.isEmpty()) {
        cleanUp();
        return failure(u"フォルダ '%1' に一時ファイルを作成できません。"_s.arg(folder));
    }
    QString why = recoverAsSql(tool, path, sqlFile);
    // Rows that the new tables refuse (a damaged text, a key read twice) are left out: the
    // replay reports them and goes on.
    if (why.isEmpty())
        runTool(tool, {newFile}, sqlFile, {});
    std::optional<qint64> messages;
    if (why.isEmpty())
        messages = verifiedMessages(newFile, &why);
    if (!messages) {
        cleanUp();
        return failure(u"データベースファイルを修復できませんでした。\n"_s + why
                       + u"\nデータベースファイルは変更していません。"_s);
    }
    QFile::remove(sqlFile);
    // The damaged file keeps its data under a new name, with a journal that SQLite left
    // beside it (it belongs to that file, never to the recovered one); the recovered file
    // takes its place.
    const QString damaged = damagedPath(path);
    if (QFileInfo::exists(path + u"-journal"_s)
        && std::rename(QFile::encodeName(path + u"-journal"_s).constData(),
                       QFile::encodeName(damaged + u"-journal"_s).constData()) != 0) {
        cleanUp();
        return failure(u"ジャーナルファイルを移動できません。データベースファイルは変更していません。"_s);
    }
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(damaged).constData()) != 0) {
        cleanUp();
        return failure(u"ファイル '%1' の名前を変更できません。データベースファイルは変更していません。"_s.arg(path));
    }
    if (std::rename(QFile::encodeName(newFile).constData(), QFile::encodeName(path).constData()) != 0) {
        std::rename(QFile::encodeName(damaged).constData(), QFile::encodeName(path).constData());
        cleanUp();
        return failure(u"修復したファイルを '%1' にできません。データベースファイルは変更していません。"_s.arg(path));
    }
    SyncFolder(folder);
    MaintenanceReport report{true,
                             {u"データベースファイルを修復しました。記事 %1 件を復旧しました。"_s.arg(*messages),
                              u"壊れたファイルは %1 として残しました。"_s.arg(QFileInfo(damaged).fileName())}};
    if (holdsLostAndFound(path))
        report.lines.append(u"元の場所が分からないデータは lost_and_found テーブルに入れました。"_s);
    return report;
}

} // namespace mdlDatabase
