#include "db/mdlDatabase.h"

#include "app/mdlApp.h"
#include "db/DatabaseLock.h"
#include "db/FileHeader.h"
#include "db/LogDatabaseParts.h"
#include "db/SqliteErrors.h"
#include "db/TextIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
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

/** The name beside @p path that keeps the damaged file: log_damaged_yyyyMMdd-HHmmss.mdb for log.mdb. */
QString damagedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString stem = QDir(info.absolutePath()).filePath(
        info.completeBaseName() + u"_damaged_"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString candidate = stem + suffix;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + u'_' + QString::number(n) + suffix;
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

/**
 * The index is made anew from the recovered rows: what the tool copied of it may name rows
 * that were lost or miss rows that were saved. A file that does not open is left to the check.
 */
QString rebuildTextIndex(const QString &file)
{
    std::unique_ptr<Database> db = Database::Open(file);
    if (!db)
        return {};
    bool ok = TextIndex::Create(*db);
    for (std::optional<int> indexed = 1; ok && indexed > 0;) {
        indexed = TextIndex::IndexPending(*db, TextIndex::PendingBatch);
        ok = indexed.has_value();
    }
    if (ok)
        return {};
    return u"全文検索の索引を作り直せませんでした。\n"_s + db->LastError().description;
}

/** The fault that the full-text index's own check reports; empty when it has none. */
QString textIndexFault(Database &db)
{
    if (!db.HasTextIndex()
        || db.ExecuteNative(u"INSERT INTO %1(%1) VALUES('integrity-check')"_s.arg(TextIndex::TableName)))
        return {};
    return u"全文検索の索引が壊れています: "_s + db.LastError().description;
}

/** The recovered file must be sound and hold the log tables; returns its message count. */
std::optional<qint64> verifiedMessages(const QString &file, QString *why)
{
    DbError error;
    std::unique_ptr<Database> db = Database::Open(file, &error);
    if (!db) {
        *why = error.number == DbError::FileNotFound || error.number == DbError::NotADatabase
            ? u"sqlite3 が復旧したデータを書き込めませんでした。"_s
            : error.description;
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

/** The temporary files of a repair, removed when it ends. */
struct TempFiles
{
    QString sql;
    QString recovered;
    QString mended;

    ~TempFiles()
    {
        for (const QString &file : {sql, recovered, mended}) {
            if (!file.isEmpty())
                QFile::remove(file);
        }
    }
};

/** How much room a repair asks for, as a multiple of the file's size: its SQL text and the new file. */
constexpr qint64 RoomFactor = 3;
/** Less room than this after a failed step means the disk filled up during it. */
constexpr qint64 MinimumRoom = 1024 * 1024;

const QString Unchanged = u"\nデータベースファイルは変更していません。"_s;

/** The bytes free on the disk of @p folder; -1 when unknown. */
qint64 freeBytes(const QString &folder)
{
    const QStorageInfo disk(folder);
    return disk.isValid() ? disk.bytesAvailable() : -1;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

/**
 * The file the tool reads: @p path itself, or when its header is damaged (the tool reads no
 * such file) a copy at @p copy with the header mended.
 */
QString readableSource(const QString &path, const QString &copy, QString *why)
{
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        *why = u"ファイル '%1' を読めません。"_s.arg(path);
        return {};
    }
    const QByteArray header = original.read(FileHeader::Size);
    if (FileHeader::IsSound(header))
        return path;
    QFile::remove(copy);
    QFile mended(copy);
    if (!original.copy(copy) || !mended.open(QIODevice::ReadWrite)
        || mended.write(FileHeader::Mended(header, original.size())) != FileHeader::Size || !mended.flush()) {
        *why = u"一時ファイル '%1' に書き込めません。"_s.arg(copy);
        return {};
    }
    return copy;
}

/**
 * Gives the recovered file @p recovered the name @p path; the damaged file keeps its data
 * under @p damaged, with a journal that SQLite left beside it (it belongs to that file, never
 * to the recovered one). Empty when done, else why nothing changed.
 */
QString putInPlace(const QString &path, const QString &recovered, const QString &damaged)
{
    const auto move = [](const QString &from, const QString &to) {
        return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    };
    if (QFileInfo::exists(path + u"-journal"_s) && !move(path + u"-journal"_s, damaged + u"-journal"_s))
        return u"ジャーナルファイルを移動できません。"_s + Unchanged;
    if (!move(path, damaged))
        return u"ファイル '%1' の名前を変更できません。"_s.arg(path) + Unchanged;
    if (!move(recovered, path)) {
        move(damaged, path);
        return u"修復したファイルを '%1' にできません。"_s.arg(path) + Unchanged;
    }
    return {};
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
    if (const QString fault = check ? textIndexFault(*db) : QString(); !fault.isEmpty() && *check == QStringList{u"ok"_s})
        check = QStringList{fault};
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
    const qint64 needed = RoomFactor * QFileInfo(path).size();
    if (const qint64 free = freeBytes(folder); free >= 0 && free < needed)
        return failure(u"データベースファイルを修復できませんでした。\nディスクの空き容量が不足しています"
                       "（修復には約 %1 MB 必要で、空きは %2 MB です）。空き容量を増やしてから、もう一度実行してください。"_s
                           .arg(megabytes(needed), megabytes(free))
                       + Unchanged);
    TempFiles temp{mdlApp::GetTempFile(folder, TempPrefix), mdlApp::GetTempFile(folder, TempPrefix),
                   mdlApp::GetTempFile(folder, TempPrefix)};
    QString why = temp.sql.isEmpty() || temp.recovered.isEmpty() || temp.mended.isEmpty()
        ? u"フォルダ '%1' に一時ファイルを作成できません。"_s.arg(folder)
        : QString();
    const QString source = why.isEmpty() ? readableSource(path, temp.mended, &why) : QString();
    if (why.isEmpty())
        why = recoverAsSql(tool, source, temp.sql);
    // Rows that the new tables refuse (a damaged text, a key read twice) are left out: the
    // replay reports them and goes on.
    if (why.isEmpty())
        runTool(tool, {temp.recovered}, temp.sql, {});
    if (why.isEmpty())
        why = rebuildTextIndex(temp.recovered);
    std::optional<qint64> messages;
    if (why.isEmpty())
        messages = verifiedMessages(temp.recovered, &why);
    // A disk that filled up shows in what the tool wrote only as missing or cut text.
    if (const qint64 free = freeBytes(folder); !messages && free >= 0 && free < MinimumRoom)
        why = u"修復の途中でディスクの空き容量がなくなりました。空き容量を増やしてから、もう一度実行してください。"_s;
    if (!messages)
        return failure(u"データベースファイルを修復できませんでした。\n"_s + why + Unchanged);
    const QString damaged = damagedPath(path);
    why = putInPlace(path, temp.recovered, damaged);
    if (!why.isEmpty())
        return failure(why);
    SyncFolder(folder);
    MaintenanceReport report{true,
                             {u"データベースファイルを修復しました。記事 %1 件を復旧しました。"_s.arg(*messages),
                              u"壊れたファイルは %1 として残しました。"_s.arg(damaged)}};
    if (holdsLostAndFound(path))
        report.lines.append(u"元の場所が分からないデータは lost_and_found テーブルに入れました。"_s);
    return report;
}

} // namespace mdlDatabase
