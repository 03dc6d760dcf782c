#include "db/Database.h"
#include "db/JetPattern.h"
#include "db/Transaction.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

TableDef messageTable()
{
    TableDef def{u"Message"_s, {}, {}};
    def.fields = {{u"BBS_ID"_s, FieldType::Long, 0, true, u"掲示板番号"_s}, {u"ID"_s, FieldType::Long, 0, true, {}},
                  {u"Read"_s, FieldType::Boolean, 0, true, {}}, {u"Subject"_s, FieldType::Text, 255, true, {}},
                  {u"PostDate"_s, FieldType::Date, 0, true, {}}, {u"Body"_s, FieldType::Memo, 0, false, u"本文 */ with a comment end"_s},
                  {u"RootThread"_s, FieldType::Long, 0, true, {}}};
    def.indexes = {{u"PK"_s, {u"ID"_s, u"BBS_ID"_s}, true, true}, {u"IDX1"_s, {u"RootThread"_s}, false, false}};
    return def;
}

/** The program's own form of a message insert: literals, True/False, a date, Chr(124). */
QString insertMessage(int bbs, int id, const QString &subject, const QString &body = u"body"_s)
{
    auto quote = [](QString s) { return s.replace(u"'"_s, u"''"_s).replace(u"|"_s, u"' & Chr(124) & '"_s); };
    return u"INSERT INTO Message(BBS_ID, ID, Read, Subject, PostDate, Body, RootThread) VALUES(%1,%2,False,'%3',#2024/01/02 03:04#,'%4',0)"_s
        .arg(bbs).arg(id).arg(quote(subject), quote(body));
}

QStringList typeNames(const QList<FieldDef> &fields)
{
    QStringList names;
    for (const FieldDef &f : fields)
        names.append(FieldTypeName(f.type));
    return names;
}

} // namespace

/** The engine with the Jet dialect on top, over a database holding one message table. */
class TestDatabase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    /** The first value of @p sql, or -1 when it fails. */
    QVariant first(const QString &sql)
    {
        const auto rs = m_db->OpenRecordset(sql);
        return rs ? rs->Value(0) : QVariant(-1);
    }
    int count(const QString &where) { return first(u"SELECT Count(*) FROM Message WHERE "_s + where).toInt(); }

    static void row(const char *name, const QString &jet, const QString &sqlite) { QTest::newRow(name) << jet << sqlite; }
    static void same(const char *name, const QString &sql) { row(name, sql, sql); }

private slots:
    void initTestCase()
    {
        // Stored dates are wall-clock times: a zone with summer time must not lose its gap hours.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }

    void init()
    {
        QFile::remove(path(u"log.mdb"_s));
        m_db = Database::Create(path(u"log.mdb"_s));
        QVERIFY(m_db);
        QVERIFY(m_db->CreateTable(messageTable()));
    }

    void cleanup() { m_db.reset(); }

    void refusedStatements_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("recordset"); // opened as a recordset, else executed
        QTest::addColumn<int>("number");
        QTest::newRow("duplicate key") << insertMessage(1, 1, u"second"_s) << false << int(DbError::DuplicateKey);
        QTest::newRow("empty text") << insertMessage(1, 2, u"s"_s, QString()) << false << int(DbError::ZeroLengthText);
        QTest::newRow("text too long") << insertMessage(1, 2, QString(256, u'あ')) << false << int(DbError::TextTooLong);
        QTest::newRow("select executed") << u"SELECT * FROM Message"_s << false << int(DbError::NotSelectQuery);
        QTest::newRow("two statements") << u"DELETE FROM Message; DROP TABLE Message"_s << false << int(DbError::ExtraCharacters);
        QTest::newRow("empty statement") << u"  ;  "_s << false << int(DbError::InvalidStatement);
        QTest::newRow("action as recordset") << u"DELETE FROM Message"_s << true << int(DbError::InvalidOperation);
    }

    void refusedStatements()
    {
        QFETCH(QString, sql);
        QFETCH(bool, recordset);
        QVERIFY(m_db->Execute(insertMessage(1, 1, QString(255, u'あ'))));
        QVERIFY(m_db->Execute(insertMessage(2, 1, u"other"_s)));
        QVERIFY(recordset ? !m_db->OpenRecordset(sql) : !m_db->Execute(sql));
        QTEST(m_db->LastError().number, "number");
        // The stored rows stay as they were.
        QCOMPARE(first(u"SELECT Len(Subject) FROM Message WHERE BBS_ID = 1"_s).toInt(), 255);
        QCOMPARE(first(u"SELECT Count(*) FROM Message"_s).toInt(), 2);
    }

    // Texts come back as written; the stock sqlite3 tool sees plain values: 1 for True, the
    // date as text, number-like texts as texts.
    void storedValuesArePlainValues()
    {
        const QString subject = u"it's 'ok' | #1 & *fine* [x]"_s;
        QVERIFY(m_db->Execute(insertMessage(1, 1, subject, u"a|b'c"_s)));
        QVERIFY(m_db->Execute(insertMessage(2, 1, u"1e5"_s, u"0123"_s)));
        QVERIFY(m_db->Execute(u"UPDATE Message SET Read = True WHERE ID = 1 AND BBS_ID = 1"_s));
        const auto rs = m_db->OpenRecordset(u"SELECT Read, Subject FROM Message WHERE BBS_ID = 1"_s);
        QVERIFY(rs);
        QCOMPARE(rs->Value(u"read"_s), QVariant(true));
        QCOMPARE(rs->Value(1).toString(), subject);
        m_db.reset();
        QCOMPARE(sqliteTool(path(u"log.mdb"_s), u"SELECT Read, PostDate, typeof(Subject), Body FROM Message ORDER BY BBS_ID"_s),
                 u"1|2024-01-02 03:04:00|text|a|b'c\n0|2024-01-02 03:04:00|text|0123"_s);
    }

    void dialectEndToEnd()
    {
        const QStringList subjects{u"ＡＢＣ掲示板"_s, u"abc"_s, u"a*b"_s, u"x1y"_s, u"[tag]"_s};
        for (int i = 0; i < subjects.size(); ++i)
            QVERIFY(m_db->Execute(insertMessage(1, i + 1, subjects.at(i))));
        QCOMPARE(count(u"Subject Like '*B*'"_s), 2); // full-width and half-width letters differ
        QCOMPARE(count(u"PostDate = #2024/01/02 03:04# AND NOT PostDate > #2024/01/02 03:04:01#"_s), 5);
        QCOMPARE(count(u"Read = False AND Subject & '!' = 'abc!'"_s), 1);
        QCOMPARE(count(u"Len(Subject) = 3 AND UCase(Left(Subject, 1)) = 'A'"_s), 2);
        QCOMPARE(count(u"Nz(Null, 'x') = 'x' AND IIf(ID > 4, True, False)"_s), 1);
        QCOMPARE(count(u"Len(Now()) = 19 AND Date() <= Now() AND Now() Like '####-##-## ##:##:##'"_s), 5);
        QCOMPARE(first(u"SELECT Count(*) FROM (SELECT TOP 50 PERCENT ID FROM Message ORDER BY ID)"_s).toInt(), 3); // rounded up
    }

    void parameters()
    {
        QVERIFY(m_db->Execute(insertMessage(1, 1, u"s"_s)));
        QVERIFY(m_db->Execute(insertMessage(2, 1, u"s"_s)));
        const QString declared = u"PARAMETERS Since DateTime, Flag YesNo; UPDATE Message SET Read = Flag WHERE PostDate >= Since"_s;
        QVERIFY(m_db->Execute(declared, {u"2024/01/01"_s, u"True"_s}));
        QCOMPARE(m_db->RecordsAffected(), 2);
        QVERIFY(m_db->Parameters(u"SELECT * FROM Message.x"_s).isEmpty());
        QVERIFY(m_db->LastError());
        // Extra names replace bare and bracketed uses, never qualified columns or literals.
        const JetSql::Translation extra = JetSql::Translate(
            u"SELECT * FROM t WHERE a = [Enter value] AND t.[Enter value] = 1 AND b = 'Enter value' OR c = x"_s, {u"enter value"_s, u"X"_s});
        QCOMPARE(extra.sql, u"SELECT * FROM t WHERE a = ?1 AND t.[Enter value] = 1 AND b = 'Enter value' OR c = ?2"_s);
        const auto value = [](const QString &type, const QVariant &v) { return JetSql::ParameterValue({u"p"_s, type}, v); };
        QCOMPARE(value(u"Long"_s, u" 42"_s), QVariant(42LL));
        QCOMPARE(value(u"Long"_s, u"abc"_s), QVariant(u"abc"_s)); // not a number: passed as typed
        QCOMPARE(value(u"Bit"_s, u"0"_s), QVariant(false));
        QCOMPARE(value(u"Text (20)"_s, 7), QVariant(u"7"_s));
    }

    void transactions()
    {
        QVERIFY(m_db->Execute(insertMessage(7, 4, u"kept"_s)));
        // Without Commit() a transaction is rolled back; an inner rollback undoes its own part only and keeps its cause.
        {
            Transaction dropped(*m_db);
            QVERIFY(m_db->Execute(insertMessage(2, 9, u"dropped"_s)));
        }
        {
            Transaction outer(*m_db);
            QVERIFY(m_db->Execute(insertMessage(1, 1, u"outer"_s)));
            {
                Transaction inner(*m_db);
                QVERIFY(m_db->Execute(insertMessage(1, 2, u"inner"_s)));
                QVERIFY(!m_db->Execute(insertMessage(7, 4, u"dup"_s)));
            }
            QCOMPARE(m_db->LastError().number, DbError::DuplicateKey);
            QVERIFY(outer.Commit());
        }
        QCOMPARE(count(u"BBS_ID = 1 AND Subject = 'outer'"_s), 1);
        QCOMPARE(count(u"True"_s), 2);
        QVERIFY(!m_db->InTransaction());
        // A statement kept past the end of its database does nothing.
        Statement kept = m_db->Prepare(u"SELECT ID FROM Message"_s);
        m_db.reset();
        QVERIFY(!kept.IsValid());
        QVERIFY(!kept.Next());
        QVERIFY(!kept.Execute());
    }

    // A full disk inside a nested transaction makes SQLite roll back the whole transaction:
    // the commits and rollbacks that follow keep the full disk as the cause.
    void fullDiskStaysTheCause()
    {
        const SmallDisk disk(path(u"small"_s), 256);
        REQUIRE_MOUNTED(disk);
        m_db = Database::Create(disk.path(u"log.mdb"_s));
        QVERIFY(m_db);
        QVERIFY(m_db->CreateTable(messageTable()));
        QVERIFY(disk.fill(64 * 1024));
        {
            Transaction outer(*m_db);
            Transaction inner(*m_db);
            int id = 0;
            while (m_db->Execute(insertMessage(1, ++id, u"件名"_s, QString(4000, u'本')))) {
            }
            QVERIFY(!inner.Commit());
        }
        QCOMPARE(m_db->LastError().number, DbError::DiskFull);
        QVERIFY(!m_db->InTransaction());
    }

    void tablesAndFields()
    {
        QVERIFY(!m_db->CreateTable(messageTable()));
        QCOMPARE(m_db->LastError().number, DbError::ObjectExists);
        const auto fields = m_db->Fields(u"message"_s);
        QVERIFY(fields);
        QCOMPARE(typeNames(*fields), u"Long Long Boolean Text Date Memo Long"_s.split(u' '));
        QCOMPARE(fields->at(0).description, u"掲示板番号"_s);
        QCOMPARE(fields->at(5).description, u"本文 * / with a comment end"_s);
        // A table made by hand reads with the closest types.
        QVERIFY(m_db->Execute(u"CREATE TABLE Hand (a LONG, b YESNO, c TEXT(20), d DATETIME, e MEMO, f DOUBLE, g)"_s));
        const auto hand = m_db->Fields(u"Hand"_s);
        QVERIFY(hand);
        QCOMPARE(typeNames(*hand), u"Long Boolean Text Date Memo Double Variant"_s.split(u' '));
    }

    void runawayStatementsEndAsErrors()
    {
        QVERIFY(!m_db->OpenRecordset(u"SELECT zeroblob(1000000000) AS b"_s));
        QVERIFY(m_db->LastError().description.contains(u"大きすぎる"_s));
        // A recursion whose rows SQLite must keep apart (UNION) grows SQLite's memory: the
        // process-wide bound, lowered here, ends it.
        const sqlite3_int64 bound = sqlite3_hard_heap_limit64(-1);
        sqlite3_hard_heap_limit64(16 * 1024 * 1024);
        const bool ran = m_db->OpenRecordset(
            u"SELECT n FROM (WITH RECURSIVE r(x) AS (SELECT 1 UNION SELECT x + 1 FROM r) SELECT count(*) AS n FROM r)"_s).has_value();
        sqlite3_hard_heap_limit64(bound);
        QVERIFY(!ran);
        QVERIFY(m_db->LastError().description.contains(u"メモリ"_s));
    }

    void damageFoundWhileRunningNamesTheRepair()
    {
        QVERIFY(m_db->BeginTrans());
        for (int i = 1; i <= 300; ++i)
            QVERIFY(m_db->Execute(insertMessage(1, i, u"件名"_s, QString(500, u'本'))));
        QVERIFY(m_db->CommitTrans());
        const auto leaf = m_db->OpenRecordset(
            u"SELECT pageno FROM dbstat WHERE name = 'Message' AND pagetype = 'leaf' ORDER BY pageno DESC"_s);
        QVERIFY(leaf);
        const qint64 page = leaf->Value(0).toLongLong();
        m_db.reset();
        QFile file(path(u"log.mdb"_s));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek((page - 1) * 4096));
        QCOMPARE(file.write(QByteArray(8, '\xff')), 8);
        file.close();

        m_db = Database::Open(path(u"log.mdb"_s));
        QVERIFY(m_db);
        QVERIFY(!m_db->OpenRecordset(u"SELECT count(Body) FROM Message"_s));
        QCOMPARE(m_db->LastError().number, DbError::Damaged);
        QVERIFY(m_db->LastError().description.contains(u"tessera-cli repair"_s));
        QCOMPARE_NE(m_db->IntegrityCheck(), QStringList{u"ok"_s});
    }

    // The dialect's own functions, without a database.
    void translate_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("sqlite");
        row("top", u"select distinct top 3 BBS_ID from Message ORDER BY ID DESC"_s,
            u"select distinct BBS_ID from Message ORDER BY ID DESC LIMIT 3"_s);
        row("top in subquery", u"SELECT * FROM m WHERE ID IN (SELECT TOP 2 ID FROM m ORDER BY ID DESC) ORDER BY ID"_s,
            u"SELECT * FROM m WHERE ID IN (SELECT ID FROM m ORDER BY ID DESC LIMIT 2) ORDER BY ID"_s);
        row("top in union member", u"SELECT TOP 1 ID FROM a UNION SELECT ID FROM b"_s,
            u"SELECT * FROM (SELECT ID FROM a LIMIT 1) UNION SELECT ID FROM b"_s);
        same("literals untouched", u"SELECT 'TOP 5 & True #2024/01/01# * [x] \"y\" ''z''' AS a FROM t"_s);
        row("double-quoted text", u"SELECT \"it's \"\"q\"\" & True\" AS a"_s, u"SELECT 'it''s \"q\" & True' AS a"_s);
        row("concatenation, Chr, booleans", u"SET a = 'a ' & Chr(124) WHERE Read = false OR True"_s,
            u"SET a = 'a ' || char(124) WHERE Read = 0 OR 1"_s);
        same("bracketed names stay", u"SELECT [True], t.False FROM t"_s);
        row("date only, short numbers", u"SELECT #2024-1-3#"_s, u"SELECT '2024-01-03 00:00:00'"_s);
        row("month first, PM", u"SELECT #1/2/2024 1:05 PM#"_s, u"SELECT '2024-01-02 13:05:00'"_s);
        row("time only: day zero", u"SELECT #13:30#"_s, u"SELECT '1899-12-30 13:30:00'"_s);
        same("no such date: left as written", u"SELECT #2024/13/45#"_s);
        row("12 AM is the first hour", u"SELECT #1/2/2024 12:30 AM#"_s, u"SELECT '2024-01-02 00:30:00'"_s);
        row("an hour local time skips", u"SELECT #2024/03/31 02:30#"_s, u"SELECT '2024-03-31 02:30:00'"_s);
        row("12 PM is noon", u"SELECT #1/2/2024 12:30 PM#"_s, u"SELECT '2024-01-02 12:30:00'"_s);
        same("13 PM is no time", u"SELECT #1/2/2024 13:30 PM#"_s);
        row("column named Table", u"CREATE TABLE V (Table TEXT(255)); SELECT Version FROM V WHERE Table = 'BBS'"_s,
            u"CREATE TABLE V (\"Table\" TEXT(255)); SELECT Version FROM V WHERE \"Table\" = 'BBS'"_s);
        row("delete star", u"DELETE * FROM Message WHERE ID = 1"_s, u"DELETE FROM Message WHERE ID = 1"_s);
        row("make table", u"SELECT ID INTO [Backup 1] FROM m"_s, u"CREATE TABLE \"Backup 1\" AS SELECT ID  FROM m"_s);
        row("functions", u"SELECT Left(s, 3), Right$(s, 2), Mid$(s, 2), ID Mod 2 FROM a LEFT JOIN b ON a.x = b.x"_s,
            u"SELECT jet_left(s, 3), jet_right(s, 2), Mid(s, 2), ID % 2 FROM a LEFT JOIN b ON a.x = b.x"_s);
        row("ideographic space", u"SELECT\u3000*\u3000FROM t"_s, u"SELECT * FROM t"_s);
        row("declared parameters", u"PARAMETERS [Board] Long, Since DateTime; SELECT * FROM m WHERE BBS_ID = [board] AND d > Since"_s,
            u" SELECT * FROM m WHERE BBS_ID = ?1 AND d > ?2"_s);
    }

    void translate()
    {
        QFETCH(QString, jet);
        QTEST(JetSql::Translate(jet).sql, "sqlite");
    }

    void queryTypes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::newRow("select after a comment") << u"  -- note\n select * from Message"_s << int(JetSql::Select);
        QTest::newRow("append of a union") << u"INSERT INTO t SELECT a FROM x UNION SELECT b FROM y"_s << int(JetSql::Append);
        QTest::newRow("delete with a common table")
            << u"WITH c AS (SELECT 1 AS n) DELETE FROM t WHERE a IN c"_s << int(JetSql::Delete);
        QTest::newRow("pragma") << u"PRAGMA table_info(Message)"_s << int(JetSql::PassThrough);
    }

    void queryTypes()
    {
        QFETCH(QString, sql);
        QTEST(int(JetSql::TypeOf(sql)), "type");
    }

    void like()
    {
        // pattern, a text it matches, a text it does not match
        const QList<std::tuple<QString, QString, QString>> cases{
            {u"*C"_s, u"abc"_s, u"abd"_s}, {u"a?c"_s, u"abc"_s, u"ac"_s}, {u"a#c"_s, u"a1c"_s, u"abc"_s},
            {u"[abc]"_s, u"b"_s, u"d"_s}, {u"[!abc]"_s, u"d"_s, u"A"_s}, {u"a[*]b"_s, u"a*b"_s, u"axb"_s},
            {u"[abc"_s, u"[abc"_s, u"a"_s}, {u"ａｂｃ"_s, u"ＡＢＣ"_s, u"abc"_s}, {u"?x"_s, u"𠀋x"_s, u"ab x"_s},
            {u"*a*a*a*"_s, u"aaa"_s, u"aa"_s}, {u"?"_s, u"?"_s, QString()}};
        for (const auto &[pattern, hit, miss] : cases) {
            QVERIFY2(JetSql::Like(hit, pattern), qPrintable(pattern));
            QVERIFY2(!JetSql::Like(miss, pattern), qPrintable(pattern));
        }
        QVERIFY(JetSql::Like(QString(), u"*"_s));
        QVERIFY(!JetSql::Like(u"abc"_s, QString()));
        QVERIFY(JetPattern(u"100!%*", U'!').Matches(u"100%ok"));
        QVERIFY(!JetPattern(u"a!*", U'!').Matches(u"ab"));
    }

    void dates()
    {
        const QDateTime dt(QDate(2024, 1, 2), QTime(3, 4, 5));
        QVERIFY(JetSql::StoredDate(QDateTime()).isEmpty());
        QCOMPARE(JetSql::DateLiteral(dt), u"#2024/01/02 03:04:05#"_s);
        QCOMPARE(JetSql::ParseStoredDate(u"2024-01-02"_s), QDate(2024, 1, 2).startOfDay(Qt::UTC));
        for (const QString &bad : {u"2024-13-02 00:00:00"_s, u"2024-01-02 03:04:0"_s, u"abc"_s})
            QVERIFY2(!JetSql::ParseStoredDate(bad).isValid(), qPrintable(bad));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
