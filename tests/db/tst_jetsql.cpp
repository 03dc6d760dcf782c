#include "db/JetPattern.h"
#include "db/JetSql.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestJetSql : public QObject
{
    Q_OBJECT

    static void row(const char *name, const QString &jet, const QString &sqlite) { QTest::newRow(name) << jet << sqlite; }
    static void same(const char *name, const QString &sql) { row(name, sql, sql); }

private slots:
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
        row("date and time", u"SELECT #2024/01/02 03:04#"_s, u"SELECT '2024-01-02 03:04:00'"_s);
        row("date only, short numbers", u"SELECT #2024-1-3#"_s, u"SELECT '2024-01-03 00:00:00'"_s);
        row("month first, PM", u"SELECT #1/2/2024 1:05 PM#"_s, u"SELECT '2024-01-02 13:05:00'"_s);
        row("time only: day zero", u"SELECT #13:30#"_s, u"SELECT '1899-12-30 13:30:00'"_s);
        same("no such date: left as written", u"SELECT #2024/13/45#"_s);
        row("12 AM is the first hour", u"SELECT #1/2/2024 12:30 AM#"_s, u"SELECT '2024-01-02 00:30:00'"_s);
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

    void parameters()
    {
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

    void queryTypes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::newRow("select after a comment") << u"  -- note\n select * from Message"_s << int(JetSql::Select);
        QTest::newRow("union") << u"SELECT a FROM t UNION ALL SELECT b FROM u"_s << int(JetSql::Union);
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
        QCOMPARE(JetSql::ParseStoredDate(u"2024-01-02"_s), QDate(2024, 1, 2).startOfDay());
        for (const QString &bad : {u"2024-13-02 00:00:00"_s, u"2024-01-02 03:04:0"_s, u"abc"_s})
            QVERIFY2(!JetSql::ParseStoredDate(bad).isValid(), qPrintable(bad));
    }
};

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
