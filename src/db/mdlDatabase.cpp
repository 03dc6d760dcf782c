#include "db/mdlDatabase.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "db/Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
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
const QString MsgVersionConvertFailed = u"Versionテーブルのコンバートに失敗しました。"_s;
const QString MsgBBSConvertFailed = u"BBSテーブルのコンバートに失敗しました。"_s;
const QString MsgMessageConvertFailed = u"Messageテーブルのコンバートに失敗しました。"_s;
const QString MsgMarkConvertFailed = u"Markテーブルの更新に失敗しました。"_s;
const QString MsgVersionWriteFailed = u"Versionテーブルの更新に失敗しました。"_s;
const QString MsgCompactFailed = u"データベースファイルの最適化に失敗しました。"_s;
const QString MsgConverted = u"データベースのコンバートが完了しました。"_s;

const QString TempPrefix = u"TSR"_s;
const QString BackupSuffix = u"_BACK"_s;

// Shape of a large log, for the query planner: a million messages in sixteen boards, half
// of them unread, threads of a few messages. Without these figures SQLite guesses that
// BBS_ID = n and RootThread = 0 are equally selective and links threads by walking the
// whole board instead of the few unlinked rows.
const char16_t *const PlannerStats[][2] = {
    {u"IDX1", u"1000000 4"},
    {u"IDX_Board", u"1000000 62500 1"},
    {u"IDX_Unread", u"1000000 62500 31250 1"},
};

const QString BoardHost = u"http://bbs.example.jp"_s;
const QString Board3Host = u"http://bbs2.example.jp"_s;
const QString PairScript = u"/cgi-bin/sayu.cgi"_s;

DefaultBoard board(int id, const char16_t *name, const char16_t *shortName, const QString &url,
                   int maxCount, int type, int listOrder, const char16_t *logFile,
                   const char16_t *identifier)
{
    const QString rules = id == 14 ? BoardHost + u"/howtouse_sayu.html"_s : SharedHowtouseURL();
    return {id, QString::fromUtf16(name), QString::fromUtf16(shortName), url, rules, maxCount,
            type, true, listOrder, QString::fromUtf16(logFile), QString::fromUtf16(identifier)};
}

QString script(const char16_t *name)
{
    return BoardHost + u"/cgi-bin/"_s + QString::fromUtf16(name) + u".cgi"_s;
}

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

QString boolText(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

QString bbsInsert(const DefaultBoard &b)
{
    const QStringList values{QString::number(b.BBS_ID),
                             JetSql::TextLiteral(b.BBS_Name),
                             JetSql::TextLiteral(b.ShortName),
                             JetSql::TextLiteral(b.URL),
                             JetSql::TextLiteral(b.HowtouseURL),
                             QString::number(b.MaxCount),
                             QString::number(b.BBSType),
                             boolText(b.VisitLoad),
                             QString::number(b.ListOrder),
                             JetSql::TextLiteral(b.DefaultLogFile),
                             JetSql::TextLiteral(b.Identifier)};
    return u"INSERT INTO BBS VALUES("_s + values.join(u", "_s) + u')';
}

TableDef bbsTable()
{
    TableDef def{u"BBS"_s, {}, {{u"PK"_s, {u"BBS_ID"_s}, true, true}}};
    AddTableField(def, u"BBS_ID"_s, FieldType::Long);
    AddTableField(def, u"BBS_Name"_s, FieldType::Text, 255, false);
    AddTableField(def, u"ShortName"_s, FieldType::Text, 255, false);
    AddTableField(def, u"URL"_s, FieldType::Text, 255, false);
    AddTableField(def, u"HowtouseURL"_s, FieldType::Text, 255, false);
    AddTableField(def, u"MaxCount"_s, FieldType::Long);
    AddTableField(def, u"BBSType"_s, FieldType::Long);
    AddTableField(def, u"VisitLoad"_s, FieldType::Boolean);
    AddTableField(def, u"ListOrder"_s, FieldType::Long);
    AddTableField(def, u"DefaultLogFile"_s, FieldType::Text, 255, true);
    AddTableField(def, u"Identifier"_s, FieldType::Text, 255, true);
    return def;
}

/**
 * Besides the key and IDX1 (thread linking and relate search by RootThread), IDX_Board
 * serves the board pages and their counts (BBS_ID = n ordered by ID, also ID above or
 * below a bound) and IDX_Unread the unread counts of the board menus and the unread page
 * (BBS_ID = n AND Read = False, ordered by ID) without touching the rows.
 */
TableDef messageTable()
{
    TableDef def{u"Message"_s,
                 {},
                 {{u"PK"_s, {u"ID"_s, u"BBS_ID"_s}, true, true},
                  {u"IDX1"_s, {u"RootThread"_s}, false, false},
                  {u"IDX_Board"_s, {u"BBS_ID"_s, u"ID"_s}, false, false},
                  {u"IDX_Unread"_s, {u"BBS_ID"_s, u"Read"_s, u"ID"_s}, false, false}}};
    AddTableField(def, u"BBS_ID"_s, FieldType::Long);
    AddTableField(def, u"ID"_s, FieldType::Long);
    AddTableField(def, u"Read"_s, FieldType::Boolean);
    AddTableField(def, u"Subject"_s, FieldType::Text, 255, true);
    AddTableField(def, u"Homepage"_s, FieldType::Text, 255, true);
    AddTableField(def, u"Mail"_s, FieldType::Text, 255, true);
    AddTableField(def, u"PostName"_s, FieldType::Text, 255, true);
    AddTableField(def, u"PostDate"_s, FieldType::Date);
    AddTableField(def, u"InReplyTo"_s, FieldType::Long);
    AddTableField(def, u"Body"_s, FieldType::Memo);
    AddTableField(def, u"RootThread"_s, FieldType::Long);
    AddTableField(def, u"Mark"_s, FieldType::Long);
    return def;
}

TableDef markTable()
{
    TableDef def{u"Mark"_s, {}, {{u"PK"_s, {u"ID"_s}, true, true}}};
    AddTableField(def, u"ID"_s, FieldType::Long);
    AddTableField(def, u"Name"_s, FieldType::Text, 255, true);
    AddTableField(def, u"ForeColor"_s, FieldType::Long);
    AddTableField(def, u"BackColor"_s, FieldType::Long);
    return def;
}

TableDef versionTable()
{
    TableDef def{u"Version"_s, {}, {}};
    AddTableField(def, u"Table"_s, FieldType::Text, 255, true);
    AddTableField(def, u"Version"_s, FieldType::Text, 8, true);
    return def;
}

/** The name under which SQLite knows index @p index of table Message. */
QString messageIndexName(const QStringList &names, const QString &index)
{
    for (const QString &name : names) {
        if (name == index || name.endsWith(u'_' + index))
            return name;
    }
    return index;
}

bool writePlannerStats(Database &db)
{
    const std::optional<Recordset> indexes =
        db.OpenRecordset(u"SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Message'"_s);
    QStringList names;
    for (int row = 0; indexes && row < indexes->RecordCount(); ++row)
        names.append(indexes->Value(row, 0).toString());
    // "ANALYZE sqlite_schema" creates sqlite_stat1 when missing and reloads it afterwards.
    if (!indexes || !db.Execute(u"ANALYZE sqlite_schema"_s)
        || !db.Execute(u"DELETE FROM sqlite_stat1 WHERE tbl = 'Message'"_s))
        return false;
    for (const auto &row : PlannerStats) {
        const QString name = messageIndexName(names, QString::fromUtf16(row[0]));
        if (!db.Execute(u"INSERT INTO sqlite_stat1 VALUES('Message', %1, '%2')"_s.arg(
                JetSql::TextLiteral(name), QString::fromUtf16(row[1]))))
            return false;
    }
    return db.Execute(u"ANALYZE sqlite_schema"_s);
}

bool createTable(Database &db, const TableDef &def, const QStringList &rows)
{
    Transaction transaction(db);
    if (!transaction.IsActive() || !db.CreateTable(def))
        return false;
    for (const QString &insert : rows) {
        if (!db.Execute(insert))
            return false;
    }
    if (def.name == u"Message"_s && !writePlannerStats(db))
        return false;
    return transaction.Commit();
}

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
    update.Execute();
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

/** Converts an older database after the user agreed; shows every failure itself. */
std::unique_ptr<Database> convert(std::unique_ptr<Database> db, const QString &version)
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
    if (!WriteVersionTable(*db))
        return failConversion(MsgVersionWriteFailed);
    if (rebuilt && !CompactLogDatabase(db))
        return failConversion(MsgCompactFailed);
    prompter().information(MsgConverted);
    return db;
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

const QList<DefaultBoard> &DefaultBoards()
{
    static const QList<DefaultBoard> boards{
        board(3, u"なんでも掲示板", u"なんでも", DefaultBoard3URL(), 400, 3, 0, u"nandemo*", u"nandemo"),
        board(4, u"雑談掲示板", u"雑談", script(u"zatsudan"), 400, 0, 2, u"zatsudan*", u"zatsudan"),
        board(5, u"質問掲示板", u"質問", script(u"shitsumon"), 400, 0, 3, u"shitsumon*", u"shitsumon"),
        board(6, u"情報交換掲示板", u"情報交換", script(u"joho"), 400, 0, 4, u"", u"joho"),
        board(7, u"ニュース掲示板", u"ニュース", script(u"news"), 400, 0, 5, u"", u"news"),
        board(8, u"趣味の掲示板", u"趣味", script(u"shumi"), 400, 0, 6, u"shumi*", u"shumi"),
        board(9, u"音楽掲示板", u"音楽", script(u"ongaku"), 400, 0, 8, u"", u"ongaku"),
        board(10, u"映画掲示板", u"映画", script(u"eiga"), 400, 0, 9, u"", u"eiga"),
        board(11, u"ゲーム掲示板", u"ゲーム", script(u"game"), 400, 0, 10, u"", u"game"),
        board(12, u"料理掲示板", u"料理", script(u"ryori"), 200, 0, 11, u"", u"ryori"),
        board(13, u"左右掲示板(左)", u"左", BoardHost + PairScript, 200, 1, 12, u"", u"hidari"),
        board(14, u"左右掲示板(右)", u"右", BoardHost + PairScript, 200, 2, 13, u"", u"migi"),
        board(15, u"スポーツ掲示板", u"スポーツ", script(u"sports"), 200, 0, 14, u"", u"sports"),
        board(16, u"お知らせ掲示板", u"お知らせ", script(u"oshirase"), 100, 0, 1, u"", u"oshirase"),
        board(17, u"テスト掲示板", u"テスト", script(u"test"), 100, 0, 15, u"", u"test"),
        board(18, u"管理人への連絡", u"連絡", script(u"renraku"), 100, 0, 17, u"", u"renraku"),
    };
    return boards;
}

QString DefaultBoard3URL()
{
    return Board3Host + u"/cgi-bin/nandemo.cgi"_s;
}

QString SharedHowtouseURL()
{
    return BoardHost + u"/howtouse.html"_s;
}

void AddTableField(TableDef &def, const QString &name, FieldType type, int size, bool allowZeroLength)
{
    FieldDef field;
    field.name = name;
    field.type = type;
    if (type == FieldType::Text) {
        field.size = size;
        field.allowZeroLength = allowZeroLength;
    } else {
        // A Memo field refuses the empty text, as the engine's default for new fields did.
        field.allowZeroLength = type != FieldType::Memo;
    }
    def.fields.append(field);
}

QString GetTableVersion(Database &db, const QString &table)
{
    const QString sql = table.isEmpty()
        ? u"SELECT Max(Version) AS VER FROM Version"_s
        : u"SELECT Version AS VER FROM Version WHERE Table = "_s + JetSql::TextLiteral(table);
    const std::optional<Recordset> rs = db.OpenRecordset(sql);
    if (!rs || rs->IsEOF())
        return NoVersion;
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(u"Ver\\.[0-9]\\.[0-9][0-9]"_s));
    const QString version = rs->Value(u"VER"_s).toString();
    return pattern.match(version).hasMatch() ? version : NoVersion;
}

bool CreateBBSTable(Database &db)
{
    QStringList rows;
    for (const DefaultBoard &b : DefaultBoards())
        rows.append(bbsInsert(b));
    return createTable(db, bbsTable(), rows);
}

bool CreateMessageTable(Database &db)
{
    return createTable(db, messageTable(), {});
}

bool CreateMarkTable(Database &db)
{
    const QString insert = u"INSERT INTO Mark VALUES(%1, '%2', %3, -2147483643)"_s;
    return createTable(db, markTable(),
                       {insert.arg(1).arg(u"マーク&1"_s).arg(128), insert.arg(2).arg(u"マーク&2"_s).arg(32768),
                        insert.arg(3).arg(u"マーク&3"_s).arg(8388608), insert.arg(4).arg(u"マーク&4"_s).arg(8421504)});
}

bool WriteVersionTable(Database &db, const QString &version)
{
    const auto row = [&](const QString &table, const QString &current) {
        return u"INSERT INTO Version VALUES("_s + JetSql::TextLiteral(table) + u", "_s
            + JetSql::TextLiteral(version.isEmpty() ? current : version) + u')';
    };
    Transaction transaction(db);
    if (!transaction.IsActive())
        return false;
    if (db.TableExists(u"Version"_s) && !db.DeleteTable(u"Version"_s))
        return false;
    return createTable(db, versionTable(),
                       {row(u"BBS"_s, BBSVersion), row(u"Message"_s, MessageVersion), row(u"Mark"_s, MarkVersion)})
        && transaction.Commit();
}

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
    return rebuildTable(db, messageTable(), CreateMessageTable);
}

bool ConvertMarkTable(Database &db)
{
    return rebuildTable(db, markTable(), CreateMarkTable);
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
    return convert(std::move(db), version);
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
