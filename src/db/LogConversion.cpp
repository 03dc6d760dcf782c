#include "db/mdlDatabase.h"

#include "app/Prompter.h"
#include "db/LogDatabaseParts.h"
#include "db/Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace mdlDatabase {

namespace {

const QString MsgVersionConvertFailed = u"Versionテーブルのコンバートに失敗しました。"_s;
const QString MsgBBSConvertFailed = u"BBSテーブルのコンバートに失敗しました。"_s;
const QString MsgMessageConvertFailed = u"Messageテーブルのコンバートに失敗しました。"_s;
const QString MsgMarkConvertFailed = u"Markテーブルの更新に失敗しました。"_s;
const QString MsgNGRuleConvertFailed = u"NGRuleテーブルの作成に失敗しました。"_s;
const QString MsgVersionWriteFailed = u"Versionテーブルの更新に失敗しました。"_s;
const QString MsgCompactFailed = u"データベースファイルの最適化に失敗しました。"_s;
const QString MsgConverted = u"データベースのコンバートが完了しました。"_s;

const QString BackupSuffix = u"_BACK"_s;

/** The column names of @p table, or an empty list when it cannot be read. */
QStringList columnsOf(Database &db, const QString &table)
{
    const std::optional<Recordset> rs = db.OpenRecordset(u"SELECT * FROM "_s + table + u" WHERE 0 = 1"_s);
    return rs ? rs->FieldNames() : QStringList();
}

/** A Jet Boolean as stored here: any non-zero value is True (1); Null is False. */
QString booleanColumn(const QString &column)
{
    return u"CASE WHEN "_s + column + u" <> 0 THEN 1 ELSE 0 END"_s;
}

/**
 * Renames @p def's table to its backup name, creates it anew with @p create and copies
 * every old row that the new table accepts; rows it refuses (a duplicate key, an empty or
 * too long text) are left out. Columns the old table lacks stay empty.
 */
bool rebuildTable(Database &db, const TableDef &def, bool (*create)(Database &))
{
    const QString backup = def.name + BackupSuffix;
    Transaction transaction(db);
    if (!transaction.IsActive())
        return false;
    if (!db.RenameTable(def.name, backup))
        return create(db) && transaction.Commit();
    if (!create(db))
        return false;
    const QStringList oldColumns = columnsOf(db, backup);
    QStringList columns, values;
    for (const FieldDef &field : def.fields) {
        columns.append(field.name);
        if (!oldColumns.contains(field.name, Qt::CaseInsensitive))
            values.append(field.type == FieldType::Boolean ? u"0"_s : u"NULL"_s);
        else
            values.append(field.type == FieldType::Boolean ? booleanColumn(field.name) : field.name);
    }
    const QString copy = u"INSERT OR IGNORE INTO %1 (%2) SELECT %3 FROM %4"_s.arg(
        def.name, columns.join(u", "_s), values.join(u", "_s), backup);
    return db.Execute(copy) && db.DeleteTable(backup) && transaction.Commit();
}

/** A whole number of an old column, with Jet's True as -1; nullopt for Null and non-numbers. */
std::optional<qlonglong> oldNumber(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? -1 : 0;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    return ok && !value.isNull() ? std::optional(number) : std::nullopt;
}

/** Writes one field of a board row; a value the new table refuses leaves the field as it was. */
void setBoardField(Database &db, int id, const QString &field, const QVariant &value)
{
    Statement update = db.Prepare(u"UPDATE BBS SET "_s + field + u" = ?1 WHERE BBS_ID = ?2"_s);
    update.Bind(1, value);
    update.Bind(2, id);
    static_cast<void>(update.Execute()); // refused: the default stays, as the comment above says
}

/** Copies @p row of the old BBS table of version @p oldVersion onto its default board. */
void carryOverBoard(Database &db, const Recordset &old, int row, const QString &oldVersion)
{
    const auto value = [&](const QString &field) { return old.Value(row, old.FieldIndex(field)); };
    bool isNumber = false;
    const int id = value(u"BBS_ID"_s).toInt(&isNumber);
    const auto &boards = DefaultBoards();
    if (!isNumber || std::none_of(boards.begin(), boards.end(), [id](const DefaultBoard &b) { return b.BBS_ID == id; }))
        return;
    // Numbers and Booleans that do not read as such stay at the default row's values.
    const auto copy = [&](const QString &field) {
        if (old.FieldIndex(field) < 0)
            return;
        QVariant v = value(field);
        if (field == u"VisitLoad"_s || field == u"MaxCount"_s || field == u"ListOrder"_s || field == u"BBSType"_s) {
            const std::optional<qlonglong> number = oldNumber(v);
            if (!number)
                return;
            v = field == u"VisitLoad"_s ? QVariant(*number != 0) : QVariant(*number);
        }
        setBoardField(db, id, field, v);
    };
    for (const QString &field : {u"BBS_Name"_s, u"ShortName"_s, u"URL"_s, u"HowtouseURL"_s, u"MaxCount"_s,
                                 u"VisitLoad"_s, u"ListOrder"_s, u"Identifier"_s})
        copy(field);
    if (oldVersion >= u"Ver.0.60"_s) {
        copy(u"BBSType"_s);
    } else if (old.FieldIndex(u"Hitokoto"_s) >= 0) {
        // The old column told the side of a paired board: -1 none, 0 left, 1 right.
        const std::optional<qlonglong> side = oldNumber(value(u"Hitokoto"_s));
        if (side && *side >= -1 && *side <= 1)
            setBoardField(db, id, u"BBSType"_s, *side + 1);
    }
    if (oldVersion >= u"Ver.0.30"_s)
        copy(u"DefaultLogFile"_s);
    if (oldVersion < u"Ver.0.61"_s) {
        if (id == 3) {
            setBoardField(db, id, u"URL"_s, DefaultBoard3URL());
            setBoardField(db, id, u"BBSType"_s, 3);
        }
        setBoardField(db, id, u"HowtouseURL"_s, SharedHowtouseURL());
    }
}

/** A free name beside @p path for a copy of the file as version @p version. */
QString conversionBackupPath(const QString &path, const QString &version)
{
    const QFileInfo info(path);
    const QString stem = QDir(info.absolutePath()).filePath(info.completeBaseName() + u'_' + version);
    const QString ext = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString candidate = stem + ext;
    for (int n = 2; QFileInfo::exists(candidate) && n < 1000; ++n)
        candidate = stem + u'_' + QString::number(n) + ext;
    return candidate;
}

/** Keeps a copy of the old file before its tables are rebuilt. */
bool backUpBeforeConversion(Database &db, const QString &version)
{
    const QString backup = conversionBackupPath(db.Path(), version);
    if (!QFileInfo::exists(backup) && QFile::copy(db.Path(), backup))
        return true;
    prompter().critical(u"コンバートの前にバックアップ("_s + QFileInfo(backup).fileName()
                        + u")を作成できませんでした。\nデータベースファイルは変更していません。"_s);
    return false;
}

std::unique_ptr<Database> failConversion(const QString &message)
{
    prompter().critical(message);
    return nullptr;
}

} // namespace

bool ConvertVersionTable(Database &db)
{
    const QString version = GetTableVersion(db);
    // Files before Ver.0.14 kept no row per table: record each table at the file's version.
    return version >= u"Ver.0.14"_s || WriteVersionTable(db, version);
}

bool ConvertBBSTable(Database &db)
{
    const QString backup = u"BBS"_s + BackupSuffix;
    Transaction transaction(db);
    if (!transaction.IsActive())
        return false;
    const QString oldVersion = GetTableVersion(db, u"BBS"_s);
    if (!db.RenameTable(u"BBS"_s, backup))
        return CreateBBSTable(db) && transaction.Commit();
    const std::optional<Recordset> old = db.OpenRecordset(u"SELECT * FROM "_s + backup);
    if (!old || !CreateBBSTable(db))
        return false;
    for (int row = 0; row < old->RecordCount(); ++row)
        carryOverBoard(db, *old, row, oldVersion);
    return db.DeleteTable(backup) && transaction.Commit();
}

bool ConvertMessageTable(Database &db)
{
    return rebuildTable(db, MessageTableDef(), CreateMessageTable);
}

bool ConvertMarkTable(Database &db)
{
    return rebuildTable(db, MarkTableDef(), CreateMarkTable);
}

bool ConvertNGRuleTable(Database &db)
{
    return rebuildTable(db, NGRuleTableDef(), CreateNGRuleTable);
}

std::unique_ptr<Database> ConvertLogDatabase(std::unique_ptr<Database> db, const QString &version)
{
    if (!backUpBeforeConversion(*db, version))
        return nullptr;
    if (!ConvertVersionTable(*db))
        return failConversion(MsgVersionConvertFailed);
    if (GetTableVersion(*db, u"BBS"_s) < BBSVersion && !ConvertBBSTable(*db))
        return failConversion(MsgBBSConvertFailed);
    bool rebuilt = false;
    if (GetTableVersion(*db, u"Message"_s) < MessageVersion) {
        if (!ConvertMessageTable(*db))
            return failConversion(MsgMessageConvertFailed);
        rebuilt = true;
    }
    if (GetTableVersion(*db, u"Mark"_s) < MarkVersion) {
        if (!ConvertMarkTable(*db))
            return failConversion(MsgMarkConvertFailed);
        rebuilt = true;
    }
    // A new table only: nothing to compact.
    if (GetTableVersion(*db, u"NGRule"_s) < NGRuleVersion && !ConvertNGRuleTable(*db))
        return failConversion(MsgNGRuleConvertFailed);
    if (!WriteVersionTable(*db))
        return failConversion(MsgVersionWriteFailed);
    if (rebuilt && !CompactLogDatabase(db))
        return failConversion(MsgCompactFailed);
    prompter().information(MsgConverted);
    return db;
}

} // namespace mdlDatabase
