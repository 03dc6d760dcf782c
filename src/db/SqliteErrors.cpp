#include "db/SqliteErrors.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace SqliteErrors {

const QString RepairAdvice =
    u"「tessera-cli check」で調べ、「tessera-cli repair」で修復してください"
    "（他の Tessera と tessera-cli を終了してから）。"_s;

namespace {

/** The field named by a constraint "Prefix_Field" or "table.field" in an SQLite message. */
QString fieldOfConstraint(const QString &message)
{
    QString name = AfterColon(message);
    const qsizetype cut = name.indexOf(u'_') >= 0 && !name.contains(u'.') ? name.indexOf(u'_')
                                                                          : name.lastIndexOf(u'.');
    return name.mid(cut + 1);
}

} // namespace

QString AfterColon(const QString &message)
{
    const qsizetype colon = message.indexOf(u": "_s);
    return colon < 0 ? message : message.mid(colon + 2);
}

DbError FromResult(int rc, const QString &message)
{
    switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_ROWID:
        return {DbError::DuplicateKey,
                u"インデックス、主キー、またはリレーションシップで値が重複しているので、"
                "テーブルを変更できませんでした。 ("_s + message + u')'};
    case SQLITE_CONSTRAINT_NOTNULL:
        return {DbError::RequiredField,
                u"フィールド '%1' には値を入力してください。"_s.arg(fieldOfConstraint(message))};
    case SQLITE_CONSTRAINT_CHECK:
        if (message.contains(u"ZeroLength_"_s))
            return {DbError::ZeroLengthText,
                    u"フィールド '%1' には長さ 0 の文字列を入力できません。"_s.arg(fieldOfConstraint(message))};
        if (message.contains(u"Size_"_s))
            return {DbError::TextTooLong,
                    u"フィールド '%1' が小さすぎて、追加しようとしたデータを格納できません。"_s.arg(
                        fieldOfConstraint(message))};
        break;
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return {DbError::Damaged, u"データベースファイルが壊れています。 ("_s + message + u")\n"_s + RepairAdvice};
    case SQLITE_NOMEM:
        return {DbError::Other, u"メモリが足りないため、処理を中止しました。 ("_s + message + u')'};
    case SQLITE_TOOBIG:
        return {DbError::Other, u"文字列またはバイナリデータが大きすぎるため、処理を中止しました。 ("_s + message + u')'};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {DbError::Locked, u"更新できません。ロックされています。 ("_s + message + u')'};
    case SQLITE_FULL:
        return {DbError::DiskFull, u"ディスクの空き容量が不足しています。 ("_s + message + u')'};
    case SQLITE_IOERR:
        return {DbError::DiskIO, u"ディスクの読み書きに失敗しました。 ("_s + message + u')'};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        return {DbError::CannotOpen, u"ファイルを開けないか、書き込めません。 ("_s + message + u')'};
    case SQLITE_ERROR:
        if (message.endsWith(u" already exists"_s) || message.contains(u"already another table"_s))
            return {DbError::ObjectExists, message};
        if (message.startsWith(u"no such table: "_s))
            return {DbError::NoSuchTable,
                    u"入力テーブルまたはクエリ '%1' が見つかりませんでした。"_s.arg(AfterColon(message))};
        break;
    default:
        break;
    }
    return {DbError::Other, message};
}

DbError FileError(int number, const QString &path)
{
    switch (number) {
    case DbError::FileNotFound:
        return {number, u"ファイル '%1' が見つかりませんでした。"_s.arg(path)};
    case DbError::NotADatabase:
        return {number, u"データベース形式 '%1' を認識できません。"_s.arg(path)};
    case DbError::Damaged:
        return {number, u"データベースファイル '%1' が壊れています。\n"_s.arg(path) + RepairAdvice};
    case DbError::DatabaseExists:
        return {number, u"データベース '%1' は既に存在します。"_s.arg(path)};
    default:
        return {number, u"ファイル '%1' を開けません。"_s.arg(path)};
    }
}
} // namespace SqliteErrors
