#include "db/mdlDatabase.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/DatabaseLock.h"
#include "db/LogDatabaseParts.h"
#include "db/SqliteErrors.h"
#include "db/TextIndex.h"
#include "db/Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace mdlDatabase {

namespace {

const QString MsgMissing = u"データベースファイルが存在しません。\n新しく作成します。"_s;
const QString MsgNotRecognised = u"をデータベースファイルとして認識できませんでした。\n"_s;
const QString MsgTooNew = u"データベースファイルが新しすぎます。"_s;
const QString MsgConvertQuestion =
    u"データベースファイルが古くなっています。\n新しいデータベースファイルにコンバートします。\n\n"
    "注意！:\n  完全にコンバートできるとは限りません。\n"
    "  必ずデータベースファイルのバックアップをとってください。"_s;

const QString MsgInUse = u"他のプロセス（Tessera または tessera-cli）がデータベースを使用中のため、"_s;

/** How long opening waits for another process's compaction or replacement of the file. */
constexpr int OpenWaitMs = 60000;

QString databaseFolder(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

/** The same folder and name with the extension replaced by "bak". */
QString backupPath(const QString &path)
{
    const QFileInfo info(path);
    return QDir(info.absolutePath()).filePath(info.completeBaseName() + u".bak"_s);
}

bool folderWritable(const QString &folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0;
}

/** Replaces @p target by @p source in one step; the old target stays until then. */
bool replaceFile(const QString &source, const QString &target)
{
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    SyncFolder(databaseFolder(target));
    return true;
}

/** A SQLite file holding none of our tables is not a log database. */
bool holdsLogTables(Database &db)
{
    for (const QString &table : {u"Version"_s, u"BBS"_s, u"Message"_s, u"Mark"_s}) {
        if (db.TableExists(table))
            return true;
    }
    return false;
}

/** The journal SQLite keeps beside @p path while a write is open or after a writer died. */
bool journalExists(const QString &path)
{
    return QFileInfo::exists(path + u"-journal"_s) || QFileInfo::exists(path + u"-wal"_s);
}

/** Creates a new log database at @p path, unless another process made one meanwhile. */
bool createFile(const QString &path)
{
    DbError error;
    if (CreateLogDatabase(path, &error) || error.number == DbError::DatabaseExists)
        return true;
    prompter().critical(path + u"を作成できませんでした。\n"_s + error.description);
    return false;
}

/**
 * Keeps a file that is no log database under the extension "bak"; true when it was moved,
 * so that a new file is to be made. Only while no other process has the file open, and
 * never while SQLite's journal is beside it: then the file may be a database in the middle
 * of a commit.
 */
bool setAside(const QString &path)
{
    const QString backup = backupPath(path);
    const QString backupName = QFileInfo(backup).fileName();
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(path, DatabaseLock::Mode::Exclusive, 0);
    if (!alone) {
        prompter().critical(path + MsgNotRecognised + MsgInUse + u"ファイルはそのままにします。"_s);
        return false;
    }
    if (journalExists(path)) {
        prompter().critical(path + MsgNotRecognised + u"ジャーナルファイルが残っているため、ファイルはそのままにします。\n"
                                                      "他の Tessera と tessera-cli を終了してから、もう一度起動してください。"_s);
        return false;
    }
    prompter().information(path + MsgNotRecognised + u"ログのバックアップ("_s + backupName
                           + u")を作成し、新しいデータベースファイルを作成します。"_s);
    if (!QFile::rename(path, backup)) {
        prompter().critical(u"ログのバックアップ("_s + backupName + u")を作成できませんでした。\n"_s
                            + u"同じ名前のファイルがあるか、ファイルを移動できません。"_s);
        return false;
    }
    return true;
}

/**
 * Removes the temporary files that an interrupted compaction or creation left beside
 * @p path. Only while no other process has the database open: until then they may be
 * another process's files in the making.
 */
void removeLeftovers(const QString &path)
{
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(path, DatabaseLock::Mode::Exclusive, 0);
    if (!alone)
        return;
    QDir folder(databaseFolder(path));
    for (const QString &name : folder.entryList({TempPrefix + u"*.tmp"_s, TempPrefix + u"*.tmp-journal"_s}, QDir::Files))
        folder.remove(name);
}

/** True when a part of the full-text index is in the file, whole or not. */
bool holdsTextIndexPart(Database &db)
{
    const std::optional<Recordset> rs =
        db.QueryNative(u"SELECT count(*) FROM sqlite_master WHERE instr(name, '%1') = 1"_s.arg(TextIndex::TableName));
    return !rs || rs->Value(0, 0).toInt() > 0;
}

/** Files from before the full-text index get it, or lose it when the option says so. */
std::unique_ptr<Database> withTextIndex(std::unique_ptr<Database> db)
{
    if (db)
        ApplyTextIndexOption(*db);
    return db;
}

/**
 * The open sequence, run while this process holds the file's lock shared. nullptr with
 * @p needsNewFile set when the file was set aside or went missing: a new one is to be made.
 */
std::unique_ptr<Database> openLocked(const QString &path, bool *needsNewFile)
{
    DbError error;
    std::unique_ptr<Database> db = Database::Open(path, &error);
    if (!db) {
        switch (error.number) {
        case DbError::FileNotFound:
            *needsNewFile = true;
            return nullptr;
        case DbError::NotADatabase:
            *needsNewFile = setAside(path);
            return nullptr;
        default:
            prompter().critical(error.description);
            return nullptr;
        }
    }
    if (!holdsLogTables(*db)) {
        db.reset();
        *needsNewFile = setAside(path);
        return nullptr;
    }
    const QString folder = databaseFolder(path);
    if (!folderWritable(folder)) {
        prompter().critical(u"フォルダ '%1' に書き込めないため、データベースファイルを開けません。"_s.arg(folder));
        return nullptr;
    }
    const QString version = GetTableVersion(*db);
    if (version == DatabaseVersion)
        return withTextIndex(std::move(db));
    if (version > DatabaseVersion) {
        prompter().information(MsgTooNew);
        return nullptr;
    }
    const Prompter::Button answer = prompter().question(MsgConvertQuestion, {Prompter::Ok, Prompter::Cancel},
                                                        Prompter::Ok, Prompter::Icon::Information);
    if (answer != Prompter::Ok)
        return nullptr;
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(path, DatabaseLock::Mode::Exclusive, 0);
    if (!alone) {
        prompter().critical(MsgInUse + u"コンバートできません。\n他の Tessera と tessera-cli を終了してから、もう一度起動してください。"_s);
        return nullptr;
    }
    return withTextIndex(ConvertLogDatabase(std::move(db), version));
}

} // namespace

void SyncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool ApplyTextIndexOption(Database &db)
{
    // Until then Like searches read the texts themselves, with the same results.
    const bool wanted = mdlOption::UseTextIndex;
    if (wanted ? db.HasTextIndex() : !holdsTextIndexPart(db))
        return false;
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(db.Path(), DatabaseLock::Mode::Exclusive, 0);
    if (!alone)
        return false;
    if (wanted ? TextIndex::Create(db) : TextIndex::Drop(db))
        return wanted;
    if (wanted)
        prompter().critical(u"全文検索の索引を作成できませんでした。\n"_s + db.LastError().description
                            + u"\n検索は索引を使わずに続けます。"_s);
    else
        prompter().critical(u"全文検索の索引を削除できませんでした。\n"_s + db.LastError().description);
    return false;
}

std::unique_ptr<Database> CreateLogDatabase(const QString &path, DbError *error)
{
    DbError dummy;
    DbError &err = error ? *error : dummy;
    err = {};
    if (QFileInfo::exists(path)) {
        err = {DbError::DatabaseExists, u"データベース '%1' は既に存在します。"_s.arg(path)};
        return nullptr;
    }
    // Built under a temporary name and renamed when complete, so that no half-made file
    // is ever found under the database's name.
    const QString folder = databaseFolder(path);
    const QString temp = QDir(folder).exists() ? mdlApp::GetTempFile(folder, TempPrefix) : QString();
    if (temp.isEmpty()) {
        err = {DbError::CannotOpen, u"フォルダ '%1' にファイルを作成できません。"_s.arg(folder)};
        return nullptr;
    }
    {
        std::unique_ptr<Database> db = Database::Create(temp, &err);
        if (!db)
            return nullptr;
        Transaction transaction(*db);
        const bool made = transaction.IsActive() && CreateBBSTable(*db) && CreateMessageTable(*db)
            && CreateMarkTable(*db) && CreateNGRuleTable(*db) && WriteVersionTable(*db) && transaction.Commit();
        if (!made) {
            err = db->LastError();
            db.reset();
            QFile::remove(temp);
            return nullptr;
        }
    }
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        err = {DbError::DatabaseExists, u"ファイル '%1' を作成できません。"_s.arg(path)};
        return nullptr;
    }
    SyncFolder(folder);
    return Database::Open(path, &err);
}

std::unique_ptr<Database> OpenLogDatabase(const QString &path)
{
    // The lock lives in the file itself, so a missing file is made before it is locked,
    // and a file set aside is followed by a new one, locked anew. That happens once.
    bool created = false;
    if (!QFileInfo::exists(path)) {
        // A program folder this run made has no database to miss.
        if (!mdlApp::CreatedAppFolder() || QFileInfo(path).absolutePath() != QDir::cleanPath(mdlApp::GetAppPath()))
            prompter().information(MsgMissing);
        if (!createFile(path))
            return nullptr;
        created = true;
    }
    for (;;) {
        QString why;
        std::unique_ptr<DatabaseLock> lock = DatabaseLock::Acquire(path, DatabaseLock::Mode::Shared, OpenWaitMs, &why);
        if (!lock) {
            const QString folder = databaseFolder(path);
            prompter().critical(folderWritable(folder)
                                    ? why
                                    : u"フォルダ '%1' に書き込めないため、データベースファイルを開けません。"_s.arg(folder));
            return nullptr;
        }
        removeLeftovers(path);
        bool needsNewFile = false;
        std::unique_ptr<Database> db = openLocked(path, &needsNewFile);
        if (needsNewFile && created) {
            prompter().critical(SqliteErrors::FileError(DbError::FileNotFound, path).description);
            return nullptr;
        }
        if (needsNewFile) {
            lock.reset();
            if (!createFile(path))
                return nullptr;
            created = true;
            continue;
        }
        // A conversion that compacted opened the new file, with a hold on that file.
        if (db && !db->HoldsLock())
            db->AttachLock(std::move(lock));
        return db;
    }
}

bool CompactLogDatabase(std::unique_ptr<Database> &db)
{
    if (!db)
        return false;
    const QString path = db->Path();
    const QString folder = databaseFolder(path);
    // Replacing the file under another process would lose what that process writes next.
    const std::unique_ptr<DatabaseLock> alone = DatabaseLock::Acquire(path, DatabaseLock::Mode::Exclusive, 0);
    if (!alone) {
        prompter().critical(MsgInUse + u"最適化できません。\n他の Tessera と tessera-cli を終了してから、もう一度実行してください。"_s);
        return false;
    }
    // The compacted copy is written beside the file and replaces it in one rename, so the
    // old file is complete until the new one is.
    const QString temp = mdlApp::GetTempFile(folder, TempPrefix);
    bool ok = false;
    QString reason = u"フォルダ '%1' に一時ファイルを作成できません。"_s.arg(folder);
    if (!temp.isEmpty() && QFileInfo(temp).absolutePath() == folder) {
        ok = db->Compact(temp);
        reason = db->LastError().description;
    }
    db.reset();
    if (ok && !replaceFile(temp, path)) {
        ok = false;
        reason = u"ファイル '%1' を置き換えられません。"_s.arg(path);
    }
    if (!ok) {
        if (!temp.isEmpty())
            QFile::remove(temp);
        prompter().critical(u"データベースファイルを最適化できませんでした。\n"_s + reason
                            + u"\nデータは "_s + path + u" にそのまま残っています。"_s);
        return false;
    }
    db = OpenLogDatabase(path);
    return db != nullptr;
}

} // namespace mdlDatabase
