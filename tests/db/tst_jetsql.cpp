#include "db/JetPattern.h"
#include "db/JetSql.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestJetSql : public QObject
{
    Q_OBJECT

private slots:
    void translate_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("sqlite");

        QTest::newRow("top") << u"SELECT TOP 5 * FROM Message ORDER BY ID DESC"_s
                             << u"SELECT * FROM Message ORDER BY ID DESC LIMIT 5"_s;
        QTest::newRow("distinct top") << u"select distinct top 3 BBS_ID from Message"_s
                                      << u"select distinct BBS_ID from Message LIMIT 3"_s;
        QTest::newRow("top in subquery")
            << u"SELECT * FROM Message WHERE ID IN (SELECT TOP 2 ID FROM Message ORDER BY ID DESC) ORDER BY ID"_s
            << u"SELECT * FROM Message WHERE ID IN (SELECT ID FROM Message ORDER BY ID DESC LIMIT 2) ORDER BY ID"_s;
        QTest::newRow("top before comment") << u"SELECT TOP 2 * FROM t -- last\n"_s
                                            << u"SELECT * FROM t LIMIT 2 -- last\n"_s;
        QTest::newRow("top before semicolon") << u"SELECT TOP 2 * FROM t;"_s << u"SELECT * FROM t LIMIT 2;"_s;
        QTest::newRow("top in union member") << u"SELECT TOP 1 ID FROM a UNION SELECT ID FROM b"_s
                                             << u"SELECT * FROM (SELECT ID FROM a LIMIT 1) UNION SELECT ID FROM b"_s;
        QTest::newRow("literals untouched")
            << u"SELECT 'TOP 5 & True #2024/01/01# * [x] \"y\" ''z''' AS a FROM t"_s
            << u"SELECT 'TOP 5 & True #2024/01/01# * [x] \"y\" ''z''' AS a FROM t"_s;
        QTest::newRow("double-quoted text") << u"SELECT \"it's \"\"q\"\" & True\" AS a"_s
                                            << u"SELECT 'it''s \"q\" & True' AS a"_s;
        QTest::newRow("concatenation and Chr")
            << u"INSERT INTO t VALUES('a ' & Chr(124) & ' b')"_s << u"INSERT INTO t VALUES('a ' || char(124) || ' b')"_s;
        QTest::newRow("booleans") << u"UPDATE Message SET Read = True WHERE Read = false"_s
                                  << u"UPDATE Message SET Read = 1 WHERE Read = 0"_s;
        QTest::newRow("bracketed names stay") << u"SELECT [True], t.False FROM t"_s << u"SELECT [True], t.False FROM t"_s;
        QTest::newRow("dates")
            << u"SELECT * FROM m WHERE d >= #2024/01/02 03:04# AND d < #2024-1-3# OR d = #2024/01/02 3:04:05#"_s
            << u"SELECT * FROM m WHERE d >= '2024-01-02 03:04:00' AND d < '2024-01-03 00:00:00' OR d = '2024-01-02 03:04:05'"_s;
        QTest::newRow("US date and time") << u"SELECT #1/2/2024 1:05 PM#, #13:30#"_s
                                          << u"SELECT '2024-01-02 13:05:00', '1899-12-30 13:30:00'"_s;
        QTest::newRow("not a date") << u"SELECT #2024/13/45#"_s << u"SELECT #2024/13/45#"_s;
        QTest::newRow("japanese alias") << u"SELECT Count(*) AS 件数 FROM Message"_s
                                        << u"SELECT Count(*) AS 件数 FROM Message"_s;
        QTest::newRow("column named Table")
            << u"SELECT Version AS VER FROM Version WHERE Table = 'BBS'"_s
            << u"SELECT Version AS VER FROM Version WHERE \"Table\" = 'BBS'"_s;
        QTest::newRow("keyword TABLE") << u"CREATE TABLE Version (Table TEXT(255)); DROP TABLE x"_s
                                       << u"CREATE TABLE Version (\"Table\" TEXT(255)); DROP TABLE x"_s;
        QTest::newRow("delete star") << u"DELETE * FROM Message WHERE ID = 1"_s << u"DELETE FROM Message WHERE ID = 1"_s;
        QTest::newRow("delete t.star") << u"DELETE Message.* FROM Message"_s << u"DELETE FROM Message"_s;
        QTest::newRow("make table") << u"SELECT ID INTO [Backup 1] FROM Message"_s
                                    << u"CREATE TABLE \"Backup 1\" AS SELECT ID  FROM Message"_s;
        QTest::newRow("functions") << u"SELECT Left(s, 3), Right$(s, 2), Mid$(s, 2) FROM a LEFT JOIN b ON a.x = b.x"_s
                                   << u"SELECT jet_left(s, 3), jet_right(s, 2), Mid(s, 2) FROM a LEFT JOIN b ON a.x = b.x"_s;
        QTest::newRow("mod") << u"SELECT ID Mod 2 FROM t"_s << u"SELECT ID % 2 FROM t"_s;
        QTest::newRow("ideographic space") << u"SELECT\u3000*\u3000FROM t"_s << u"SELECT * FROM t"_s;
        QTest::newRow("declared parameters")
            << u"PARAMETERS [Board] Long, Since DateTime; SELECT * FROM m WHERE BBS_ID = [board] AND d > Since"_s
            << u" SELECT * FROM m WHERE BBS_ID = ?1 AND d > ?2"_s;
        QTest::newRow("unterminated literal") << u"SELECT 'abc"_s << u"SELECT 'abc"_s;
    }

    void translate()
    {
        QFETCH(QString, jet);
        QFETCH(QString, sqlite);
        QCOMPARE(JetSql::Translate(jet).sql, sqlite);
    }

    void topPercent()
    {
        const QString sql = JetSql::Translate(u"SELECT TOP 25 PERCENT ID FROM t ORDER BY ID"_s).sql;
        QVERIFY(sql.startsWith(u"SELECT ID FROM t ORDER BY ID LIMIT (SELECT "_s));
        QVERIFY(sql.contains(u"count(*) * 25 / 100.0"_s));
        QVERIFY(sql.contains(u"FROM (SELECT ID FROM t ORDER BY ID)"_s));
    }

    void parameters()
    {
        const JetSql::Translation declared = JetSql::Translate(
            u"PARAMETERS [Board] Long, [Since] DateTime, Name Text (20); DELETE FROM m WHERE BBS_ID = Board"_s);
        QCOMPARE(declared.parameters.size(), 3);
        QCOMPARE(declared.parameters.at(0).name, u"Board"_s);
        QCOMPARE(declared.parameters.at(0).type, u"Long"_s);
        QCOMPARE(declared.parameters.at(1).type, u"DateTime"_s);
        QCOMPARE(declared.parameters.at(2).type, u"Text(20)"_s);
        QCOMPARE(declared.type, JetSql::Delete);

        // Extra names replace bare and bracketed uses, never qualified columns or literals.
        const JetSql::Translation extra = JetSql::Translate(
            u"SELECT * FROM t WHERE a = [Enter value] AND t.[Enter value] = 1 AND b = 'Enter value' OR c = x"_s,
            {u"enter value"_s, u"X"_s});
        QCOMPARE(extra.sql, u"SELECT * FROM t WHERE a = ?1 AND t.[Enter value] = 1 AND b = 'Enter value' OR c = ?2"_s);
        QCOMPARE(extra.parameters.size(), 2);
    }

    void parameterValues()
    {
        using JetSql::ParameterValue;
        QCOMPARE(ParameterValue({u"p"_s, u"Long"_s}, u" 42"_s), QVariant(42LL));
        QCOMPARE(ParameterValue({u"p"_s, u"Long"_s}, u"abc"_s), QVariant(u"abc"_s));
        QCOMPARE(ParameterValue({u"p"_s, u"YesNo"_s}, u"True"_s), QVariant(true));
        QCOMPARE(ParameterValue({u"p"_s, u"Bit"_s}, u"0"_s), QVariant(false));
        QCOMPARE(ParameterValue({u"p"_s, u"DateTime"_s}, u"2024/01/02"_s), QVariant(u"2024-01-02 00:00:00"_s));
        QCOMPARE(ParameterValue({u"p"_s, u"Text(10)"_s}, 12), QVariant(u"12"_s));
        QCOMPARE(ParameterValue({u"p"_s, QString()}, u"12"_s), QVariant(u"12"_s));
    }

    void queryTypes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::newRow("select") << u"  -- note\n select * from Message"_s << 0;
        QTest::newRow("select in parentheses") << u"(SELECT 1)"_s << 0;
        QTest::newRow("union") << u"SELECT a FROM t UNION ALL SELECT b FROM u"_s << 128;
        QTest::newRow("parenthesised union") << u"(SELECT a FROM t) UNION (SELECT b FROM u)"_s << 128;
        QTest::newRow("union in subquery") << u"SELECT * FROM (SELECT 1 UNION SELECT 2)"_s << 0;
        QTest::newRow("crosstab") << u"TRANSFORM Count(ID) SELECT BBS_ID FROM Message GROUP BY BBS_ID PIVOT Read"_s << 16;
        QTest::newRow("delete") << u"DELETE FROM Message"_s << 32;
        QTest::newRow("update") << u"UPDATE Message SET Read = True"_s << 48;
        QTest::newRow("append") << u"INSERT INTO t SELECT a FROM x UNION SELECT b FROM y"_s << 64;
        QTest::newRow("make table") << u"SELECT * INTO x FROM t"_s << 80;
        QTest::newRow("create") << u"CREATE TABLE x (a LONG)"_s << 96;
        QTest::newRow("alter") << u"ALTER TABLE x ADD COLUMN b TEXT(10)"_s << 96;
        QTest::newRow("drop") << u"DROP TABLE x"_s << 96;
        QTest::newRow("parameters first") << u"PARAMETERS x Long; UPDATE t SET a = x"_s << 48;
        QTest::newRow("with select") << u"WITH c AS (SELECT 1 AS n) SELECT * FROM c"_s << 0;
        QTest::newRow("with delete") << u"WITH c AS (SELECT 1 AS n) DELETE FROM t WHERE a IN c"_s << 32;
        QTest::newRow("explain") << u"EXPLAIN SELECT 1"_s << 112;
        QTest::newRow("pragma") << u"PRAGMA table_info(Message)"_s << 112;
    }

    void queryTypes()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        QCOMPARE(int(JetSql::TypeOf(sql)), type);
    }

    void like_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("star") << u"abc"_s << u"a*"_s << true;
        QTest::newRow("star ignores case") << u"abc"_s << u"*C"_s << true;
        QTest::newRow("whole text") << u"xabcx"_s << u"abc"_s << false;
        QTest::newRow("question") << u"abc"_s << u"a?c"_s << true;
        QTest::newRow("question needs one") << u"ac"_s << u"a?c"_s << false;
        QTest::newRow("digit") << u"a1c"_s << u"a#c"_s << true;
        QTest::newRow("digit refuses letter") << u"abc"_s << u"a#c"_s << false;
        QTest::newRow("list") << u"b"_s << u"[abc]"_s << true;
        QTest::newRow("negated list") << u"d"_s << u"[!abc]"_s << true;
        QTest::newRow("negated list refuses") << u"A"_s << u"[!abc]"_s << false;
        QTest::newRow("range ignores case") << u"M"_s << u"[a-z]"_s << true;
        QTest::newRow("negated range") << u"5"_s << u"[!0-9]"_s << false;
        QTest::newRow("literal bracket") << u"a[b"_s << u"a[[]b"_s << true;
        QTest::newRow("literal star") << u"a*b"_s << u"a[*]b"_s << true;
        QTest::newRow("literal star only") << u"axb"_s << u"a[*]b"_s << false;
        QTest::newRow("literal question") << u"a?b"_s << u"a[?]b"_s << true;
        QTest::newRow("literal hash") << u"1#"_s << u"1[#]"_s << true;
        QTest::newRow("unclosed bracket") << u"[abc"_s << u"[abc"_s << true;
        QTest::newRow("full-width case") << u"ＡＢＣ"_s << u"ａｂｃ"_s << true;
        QTest::newRow("full-width list") << u"Ｂ"_s << u"[ａ-ｚ]"_s << true;
        QTest::newRow("japanese") << u"テスト掲示板です"_s << u"*掲示*"_s << true;
        QTest::newRow("surrogate pair is one character") << u"𠀋x"_s << u"?x"_s << true;
        QTest::newRow("empty text star") << QString() << u"*"_s << true;
        QTest::newRow("empty text question") << QString() << u"?"_s << false;
        QTest::newRow("empty pattern") << u"abc"_s << QString() << false;
        QTest::newRow("backtracking") << u"aaa"_s << u"*a*a*a*"_s << true;
        QTest::newRow("backtracking fails") << u"aa"_s << u"*a*a*a*"_s << false;
        QTest::newRow("star then literal") << u"abcbd"_s << u"*b?"_s << true;
    }

    void like()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(JetSql::Like(text, pattern), matches);
    }

    void likeEscapeAndCost()
    {
        QVERIFY(JetPattern(u"100!%*", U'!').Matches(u"100%ok"));
        QVERIFY(!JetPattern(u"a!*", U'!').Matches(u"ab"));
        // Many stars against a long text that fails at the end stays fast.
        const QString text(200000, u'a');
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!JetSql::Like(text, u"*a*a*a*a*b"_s));
        // Unclosed lists and lone "#" in long texts stay linear too.
        QVERIFY(JetSql::Like(QString(100000, u'['), QString(100000, u'[')));
        QCOMPARE(JetSql::Translate(QString(100000, u'#')).sql.size(), 100000);
        QVERIFY(timer.elapsed() < 2000);
    }

    void dates()
    {
        const QDateTime dt(QDate(2024, 1, 2), QTime(3, 4, 5));
        QCOMPARE(JetSql::StoredDate(dt), u"2024-01-02 03:04:05"_s);
        QCOMPARE(JetSql::StoredDate(QDateTime()), QString());
        QCOMPARE(JetSql::DateLiteral(dt), u"#2024/01/02 03:04:05#"_s);
        QCOMPARE(JetSql::ParseStoredDate(u"2024-01-02 03:04:05"_s), dt);
        QCOMPARE(JetSql::ParseStoredDate(u"2024/01/02 03:04"_s), dt.addSecs(-5));
        QCOMPARE(JetSql::ParseStoredDate(u"2024-01-02"_s), QDate(2024, 1, 2).startOfDay());
        QVERIFY(!JetSql::ParseStoredDate(u"2024-13-02 00:00:00"_s).isValid());
        QVERIFY(!JetSql::ParseStoredDate(u"2024-01-02 03:04:0"_s).isValid());
        QVERIFY(!JetSql::ParseStoredDate(u"abc"_s).isValid());
        QCOMPARE(JetSql::TextLiteral(u"it's"_s), u"'it''s'"_s);
    }
};

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
