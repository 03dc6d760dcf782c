#include "db/mdlDatabase.h"

#include "db/LogDatabaseParts.h"
#include "db/TextIndex.h"
#include "db/Transaction.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace mdlDatabase {

namespace {

// Shape of a large log, for the query planner: a million messages in sixteen boards, half
// of them unread, threads of a few messages. Without these figures SQLite guesses that
// BBS_ID = n and RootThread = 0 are equally selective and links threads by walking the
// whole board instead of the few unlinked rows.
// The key's own index needs its figures too: without them SQLite takes it for "BBS_ID = n
// ORDER BY ID" and reads every row of the board to find the few unlinked ones.
const char16_t *const PlannerStats[][2] = {
    {u"sqlite_autoindex_Message_1", u"1000000 62500 1"},
    {u"IDX1", u"1000000 62500 4"},
    {u"IDX_Board", u"1000000 62500 1"},
    {u"IDX_Unread", u"1000000 62500 31250 1"},
};

QString bbsInsert(const DefaultBoard &b)
{
    const QStringList values{QString::number(b.BBS_ID),
                             JetSql::TextLiteral(b.BBS_Name),
                             JetSql::TextLiteral(b.ShortName),
                             JetSql::TextLiteral(b.URL),
                             JetSql::TextLiteral(b.HowtouseURL),
                             QString::number(b.MaxCount),
                             QString::number(b.BBSType),
                             JetSql::BooleanLiteral(b.VisitLoad),
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
 * Besides the key and IDX1 (thread linking and relate search by RootThread within a board),
 * IDX_Board serves the board pages and their counts (BBS_ID = n ordered by ID, also ID above
 * or below a bound) and IDX_Unread the unread counts of the board menus and the unread page
 * (BBS_ID = n AND Read = False, ordered by ID) without touching the rows.
 * The key and IDX1 lead with BBS_ID, so that a board's new rows go to the end of its own
 * range: led by ID or RootThread, every board's rows would sit between the other boards'
 * rows, and each commit of an import would rewrite pages across all of them, more with every
 * board stored. Files made before keep their order; every statement names the board anyway.
 */
TableDef messageTable()
{
    TableDef def{u"Message"_s,
                 {},
                 {{u"PK"_s, {u"BBS_ID"_s, u"ID"_s}, true, true},
                  {u"IDX1"_s, {u"BBS_ID"_s, u"RootThread"_s}, false, false},
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

/** The NG rules; BBS_ID is Null for a rule of every board. Field and Action hold NgField and NgAction. */
TableDef ngRuleTable()
{
    TableDef def{u"NGRule"_s, {}, {{u"PK"_s, {u"ID"_s}, true, true}}};
    AddTableField(def, u"ID"_s, FieldType::Long);
    AddTableField(def, u"Field"_s, FieldType::Long);
    def.fields.last().description = u"0 poster, 1 mail, 2 subject, 3 body, 4 home page, 5 any"_s;
    AddTableField(def, u"Pattern"_s, FieldType::Text, 255, false);
    AddTableField(def, u"RegExp"_s, FieldType::Boolean);
    AddTableField(def, u"BBS_ID"_s, FieldType::Long);
    def.fields.last().description = u"Null: every board"_s;
    AddTableField(def, u"Action"_s, FieldType::Long);
    def.fields.last().description = u"0 hide, 1 abone"_s;
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
    if (def.name == u"Message"_s && (!writePlannerStats(db) || !TextIndex::Create(db)))
        return false;
    return transaction.Commit();
}

} // namespace

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

bool CreateNGRuleTable(Database &db)
{
    return createTable(db, ngRuleTable(), {});
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
                       {row(u"BBS"_s, BBSVersion), row(u"Message"_s, MessageVersion), row(u"Mark"_s, MarkVersion),
                        row(u"NGRule"_s, NGRuleVersion)})
        && transaction.Commit();
}

TableDef MessageTableDef()
{
    return messageTable();
}

TableDef MarkTableDef()
{
    return markTable();
}

TableDef NGRuleTableDef()
{
    return ngRuleTable();
}

} // namespace mdlDatabase
