#include "db/mdlDatabase.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "db/LogDatabaseParts.h"
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

const QString TempPrefix = u"TSR"_s;

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

/** Makes a finished rename survive a crash: the folder entry is written to disk. */
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/** Replaces @p target by @p source in one step; the old target stays until then. */
bool replaceFile(const QString &source, const QString &target)
{
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    syncFolder(databaseFolder(target));
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

std::unique_ptr<Database> createAfterMessage(const QString &path)
{
    DbError error;
    std::unique_ptr<Database> db = CreateLogDatabase(path, &error);
    if (!db)
        prompter().critical(path + u"を作成できませんでした。\n"_s + error.description);
    return db;
}

/** Keeps a file that is no log database under the extension "bak" and creates a new one. */
std::unique_ptr<Database> replaceUnrecognised(const QString &path)
{
    const QString backup = backupPath(path);
    const QString backupName = QFileInfo(backup).fileName();
    prompter().information(path + MsgNotRecognised + u"ログのバックアップ("_s + backupName
                           + u")を作成し、新しいデータベースファイルを作成します。"_s);
    if (!QFile::rename(path, backup)) {
        prompter().critical(u"ログのバックアップ("_s + backupName + u")を作成できませんでした。\n"_s
                            + u"同じ名前のファイルがあるか、ファイルを移動できません。"_s);
        return nullptr;
    }
    return createAfterMessage(path);
}

} // namespace

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
            && CreateMarkTable(*db) && WriteVersionTable(*db) && transaction.Commit();
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
    syncFolder(folder);
    return Database::Open(path, &err);
}

std::unique_ptr<Database> OpenLogDatabase(const QString &path)
{
    DbError error;
    std::unique_ptr<Database> db = Database::Open(path, &error);
    if (!db) {
        switch (error.number) {
        case DbError::FileNotFound:
            prompter().information(MsgMissing);
            return createAfterMessage(path);
        case DbError::NotADatabase:
            return replaceUnrecognised(path);
        default:
            prompter().critical(error.description);
            return nullptr;
        }
    }
    if (!holdsLogTables(*db)) {
        db.reset();
        return replaceUnrecognised(path);
    }
    const QString folder = databaseFolder(path);
    if (!folderWritable(folder)) {
        prompter().critical(u"フォルダ '%1' に書き込めないため、データベースファイルを開けません。"_s.arg(folder));
        return nullptr;
    }
    const QString version = GetTableVersion(*db);
    if (version == DatabaseVersion)
        return db;
    if (version > DatabaseVersion) {
        prompter().information(MsgTooNew);
        return nullptr;
    }
    const Prompter::Button answer = prompter().question(MsgConvertQuestion, {Prompter::Ok, Prompter::Cancel},
                                                        Prompter::Ok, Prompter::Icon::Information);
    if (answer != Prompter::Ok)
        return nullptr;
    return ConvertLogDatabase(std::move(db), version);
}

bool CompactLogDatabase(std::unique_ptr<Database> &db)
{
    if (!db)
        return false;
    const QString path = db->Path();
    const QString folder = databaseFolder(path);
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
