#include "app/Prompter.h"
#include "db/Database.h"
#include "db/JetSql.h"
#include "db/TextIndex.h"
#include "db/Statement.h"
#include "db/mdlDatabase.h"
#include "support/TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** Pieces of message text: kana and kanji, both widths, case variants, letters Like folds alike, oddities. */
const QStringList Pieces{u"日本語"_s,   u"です"_s,   u"ニュース"_s, u"ﾆｭｰｽ"_s,  u"Tessera"_s, u"TESSERA"_s,
                         u"ｔｅｓｓｅｒａ"_s, u"ＴＥＳＳ"_s, u"\r\n"_s,   u"'"_s,     u"\""_s,      u"Kelvin"_s,
                         u"\u212Aelvin"_s, u"\u017Fun"_s, u"sun"_s,   u"123"_s,   u"１２３"_s,  u" "_s,
                         u"[*]"_s,   u"?#"_s,     u"Σίσυφος"_s, u"σίσυφοσ"_s, u"ÄÖü"_s,   u"äöÜ"_s,
                         // the tokenizer stops at U+0000 and takes the character after a lone surrogate
                         QString(QChar(0)), QString(QChar(0xd800))};

/** Characters a generated pattern may hold besides pieces of the texts. */
const QStringList PatternExtras{u"*"_s, u"?"_s, u"#"_s, u"[a-z]"_s, u"[!a]"_s, u"[*]"_s, u"'"_s, u"\""_s,
                                u"["_s, u"]"_s, u"\r\n"_s};

QString randomText(QRandomGenerator &random, int pieces)
{
    QString text;
    for (int i = 0; i < pieces; ++i)
        text += Pieces.at(random.bounded(Pieces.size()));
    return text;
}

/** A part of @p text with its letters' case and width changed at random. */
QString variantOf(QRandomGenerator &random, const QString &text)
{
    QString variant;
    for (const QChar c : text) {
        const int choice = random.bounded(4);
        if (choice == 0)
            variant += c.toUpper();
        else if (choice == 1)
            variant += c.toLower();
        else if (choice == 2 && c.unicode() >= u'!' && c.unicode() <= u'~')
            variant += QChar(c.unicode() + 0xfee0); // the full-width form
        else
            variant += c;
    }
    return variant;
}

/** A Like pattern: parts of @p text changed and mixed with wildcards and quotes. */
QString randomPattern(QRandomGenerator &random, const QString &text)
{
    const qsizetype from = random.bounded(qMax<qsizetype>(1, text.size()));
    QString pattern = variantOf(random, text.mid(from, 3 + random.bounded(8)));
    for (int n = random.bounded(3); n > 0; --n)
        pattern.insert(random.bounded(pattern.size() + 1), PatternExtras.at(random.bounded(PatternExtras.size())));
    pattern.remove(QChar(0)).remove(QChar(0xd800)); // a statement's text holds neither
    const int ends = random.bounded(8);
    return (ends & 1 ? u"*"_s : QString()) + pattern + (ends < 6 ? u"*"_s : QString());
}

} // namespace

/** The full-text index over a new log database, and the Like statements that use it. */
class TestTextIndex : public QObject
{
    Q_OBJECT

    ScriptedPrompter m_prompter;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;

    QString path() const { return m_dir->filePath(u"log.mdb"_s); }
    void sql(const QString &statement) { QVERIFY2(m_db->Execute(statement), qPrintable(statement)); }

    void store(int board, int id, const QString &body, const QString &subject = u"件名"_s,
               const QString &name = u"名無し"_s)
    {
        Statement insert = m_db->Prepare(u"INSERT INTO Message (BBS_ID, ID, Read, Body, Subject, PostName, Mark)"
                                         " VALUES (?1, ?2, False, ?3, ?4, ?5, 0)"_s);
        const QVariant values[] = {board, id, body, subject, name};
        for (int i = 0; i < 5; ++i)
            insert.Bind(i + 1, values[i]);
        QVERIFY2(insert.Execute(), qPrintable(m_db->LastError().description));
    }

    static QString selectIds(const QString &where)
    {
        return u"SELECT ID FROM Message WHERE "_s + where + u" ORDER BY ID"_s;
    }

    /** IDs of the messages that @p where selects, in order. */
    QList<int> ids(Database &db, const QString &where)
    {
        const std::optional<Recordset> rs = db.OpenRecordset(selectIds(where));
        if (!rs)
            return {-1};
        QList<int> result;
        for (int row = 0; row < rs->RecordCount(); ++row)
            result.append(rs->Value(row, 0).toInt());
        return result;
    }

    /** How many rows the index names for @p phrase. */
    int candidates(Database &db, const QString &phrase)
    {
        const std::optional<Recordset> rs = db.OpenRecordset(
            u"SELECT count(*) FROM MSysMessageText WHERE MSysMessageText MATCH "_s + JetSql::TextLiteral(phrase));
        return rs ? rs->Value(0, 0).toInt() : -1;
    }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }
    void cleanupTestCase() { setPrompter(nullptr); }

    void init()
    {
        m_prompter.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        m_db = mdlDatabase::CreateLogDatabase(path());
        QVERIFY(m_db);
        QVERIFY(m_db->HasTextIndex());
    }

    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    void likeTermsUseTheIndexOnlyWhereTheyDecideAlone_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("indexed");
        QTest::newRow("body search") << u"SELECT *\n  FROM Message\n WHERE BBS_ID = 4\n   AND Body Like '*日本語*'\n;"_s << true;
        QTest::newRow("subject, bracketed") << u"SELECT * FROM Message WHERE [Subject] Like '*abc?d*' ORDER BY ID"_s << true;
        QTest::newRow("post name, alias") << u"SELECT TOP 5 m.ID FROM Message AS m WHERE m.PostName Like 'abc[d]efg*'"_s << true;
        QTest::newRow("delete") << u"DELETE * FROM Message WHERE Body Like '*日本語*' AND ID < 5"_s << true;
        QTest::newRow("two characters") << u"SELECT * FROM Message WHERE Body Like '*日本*'"_s << false;
        QTest::newRow("runs of two") << u"SELECT * FROM Message WHERE Body Like '*ab?cd*'"_s << false;
        QTest::newRow("list inside") << u"SELECT * FROM Message WHERE Body Like '*a[bcd]e*'"_s << false;
        QTest::newRow("Kelvin sign's k") << u"SELECT * FROM Message WHERE Body Like '*kek*'"_s << false;
        QTest::newRow("under OR") << u"SELECT * FROM Message WHERE ID = 1 OR Body Like '*日本語*'"_s << false;
        QTest::newRow("under NOT") << u"SELECT * FROM Message WHERE NOT Body Like '*日本語*'"_s << false;
        QTest::newRow("compared") << u"SELECT * FROM Message WHERE Body Like '*日本語*' = False"_s << false;
        QTest::newRow("qualified, compared") << u"SELECT * FROM Message m WHERE m.Body Like '*日本語*' = 0"_s << false;
        QTest::newRow("in a CASE") << u"SELECT * FROM Message WHERE CASE WHEN ID = 1 AND Body Like '*日本語*' AND 1 THEN 0 ELSE 1 END"_s << false;
        QTest::newRow("unterminated literal") << u"SELECT * FROM Message WHERE Body Like '*日本語*"_s << false;
        QTest::newRow("in parentheses") << u"SELECT * FROM Message WHERE (Body Like '*日本語*')"_s << false;
        QTest::newRow("other column") << u"SELECT * FROM Message WHERE Mail Like '*日本語*'"_s << false;
        QTest::newRow("other table") << u"SELECT * FROM MyCopy WHERE Body Like '*日本語*'"_s << false;
        QTest::newRow("join") << u"SELECT * FROM Message INNER JOIN BBS ON Message.BBS_ID = BBS.BBS_ID WHERE Body Like '*日本語*'"_s << false;
        QTest::newRow("subquery") << u"SELECT * FROM Message WHERE Body Like '*日本語*' AND ID IN (SELECT ID FROM Mark)"_s << false;
        QTest::newRow("parameter") << u"SELECT * FROM Message WHERE Body Like [word]"_s << false;
    }

    void likeTermsUseTheIndexOnlyWhereTheyDecideAlone()
    {
        QFETCH(QString, statement);
        QFETCH(bool, indexed);
        QCOMPARE(JetSql::Translate(statement, {}, true).sql.contains(TextIndex::TableName), indexed);
        QVERIFY(!JetSql::Translate(statement, {}, false).sql.contains(TextIndex::TableName));
        if (indexed)
            QVERIFY2(m_db->Prepare(statement).IsValid(), qPrintable(m_db->LastError().description));
    }

    void indexFollowsEveryChangeOfTheRows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QList<int>>("found"); // the messages whose body holds "日本語"
        QTest::newRow("none") << QString() << QList<int>{1, 3};
        QTest::newRow("body changed") << u"UPDATE Message SET Body = 'です' WHERE ID = 1"_s << QList<int>{3};
        QTest::newRow("body gains it") << u"UPDATE Message SET Body = '日本語' WHERE ID = 2"_s << QList<int>{1, 2, 3};
        QTest::newRow("moved to another board") << u"UPDATE Message SET BBS_ID = 7 WHERE ID = 3"_s << QList<int>{1, 3};
        QTest::newRow("renumbered") << u"UPDATE Message SET ID = 9 WHERE ID = 3"_s << QList<int>{1, 9};
        QTest::newRow("deleted") << u"DELETE FROM Message WHERE ID = 1"_s << QList<int>{3};
        QTest::newRow("read flag") << u"UPDATE Message SET Read = True"_s << QList<int>{1, 3};
    }

    void indexFollowsEveryChangeOfTheRows()
    {
        QFETCH(QString, change);
        QFETCH(QList<int>, found);
        store(4, 1, u"長い日本語の本文"_s);
        store(4, 2, u"English"_s);
        store(5, 3, u"にほんご 日本語"_s);
        if (!change.isEmpty())
            sql(change);
        QCOMPARE(ids(*m_db, u"Body Like '*日本語*'"_s), found);
        QCOMPARE(candidates(*m_db, u"Body : \"日本語\""_s), found.size());
    }

    void boardConditionNarrowsTheCandidates_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("ranged");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("board 5") << u"BBS_ID = 5 AND Body Like '*日本語*'"_s << true << QList<int>{2};
        QTest::newRow("last board, qualified") << u"Body Like '*日本語*' AND Message.BBS_ID = 2147483647"_s << true
                                               << QList<int>{4};
        QTest::newRow("negative board") << u"BBS_ID = -3 AND Body Like '*日本語*'"_s << false << QList<int>{3};
        QTest::newRow("fraction") << u"BBS_ID = 4.0 AND Body Like '*日本語*'"_s << false << QList<int>{1};
    }

    void boardConditionNarrowsTheCandidates()
    {
        QFETCH(QString, where);
        QFETCH(bool, ranged);
        QFETCH(QList<int>, found);
        for (const auto &[board, id] : {std::pair(4, 1), {5, 2}, {-3, 3}, {2147483647, 4}})
            store(board, id, u"日本語"_s);
        QCOMPARE(JetSql::Translate(selectIds(where), {}, true).sql.contains(u"rowid BETWEEN"_s), ranged);
        QCOMPARE(ids(*m_db, where), found);
    }

    void keyOutsideLongIsRefused()
    {
        QVERIFY(!m_db->Execute(u"INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (4, 4294967296, 0, 'x', 0)"_s));
        QCOMPARE(ids(*m_db, u"True"_s), QList<int>{});
    }

    void indexSurvivesCompaction()
    {
        // Deleting the first row makes VACUUM INTO renumber the rows of table Message.
        for (int id = 1; id <= 4; ++id)
            store(4, id, u"本文%1の日本語"_s.arg(id));
        sql(u"DELETE FROM Message WHERE ID = 1"_s);
        const QString copy = m_dir->filePath(u"copy.mdb"_s);
        QVERIFY(m_db->Compact(copy));
        std::unique_ptr<Database> compacted = Database::Open(copy);
        QVERIFY(compacted);
        QVERIFY(compacted->Execute(u"DELETE FROM Message WHERE ID = 2"_s));
        QCOMPARE(ids(*compacted, u"Body Like '*本文3の*'"_s), QList<int>{3});
        QCOMPARE(candidates(*compacted, u"Body : \"日本語\""_s), 2);
    }

    void withoutItsTriggersTheIndexIsLeftAsideAndMadeAnewOnOpening()
    {
        store(4, 1, u"日本語"_s);
        QVERIFY(m_db->ExecuteNative(u"DROP TRIGGER MSysMessageText_Insert"_s));
        store(4, 2, u"日本語です"_s);
        QCOMPARE(ids(*m_db, u"Body Like '*日本語*'"_s), (QList<int>{1, 2}));
        m_db.reset();
        m_db = mdlDatabase::OpenLogDatabase(path());
        QVERIFY(m_db);
        QVERIFY(m_db->HasTextIndex());
        QCOMPARE(candidates(*m_db, u"Body : \"日本語\""_s), 2);
    }

    void stockToolReadsAndWritesTheFile()
    {
        store(4, 1, u"日本語"_s);
        m_db.reset();
        bool ok = false;
        sqliteTool(path(), u"INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (4, 2, 0, '日本語です', 0)"_s, &ok);
        QVERIFY(ok);
        QCOMPARE(sqliteTool(path(), u"SELECT count(*) FROM MSysMessageText WHERE MSysMessageText MATCH '日本語'"_s),
                 u"2"_s);
    }

    void checkFindsADamagedIndexAndRepairRebuildsIt()
    {
        for (int id = 1; id <= 50; ++id)
            store(4, id, u"本文%1の日本語"_s.arg(id));
        m_db.reset();
        bool ok = false;
        sqliteTool(path(), u"DELETE FROM MSysMessageText_data WHERE id > 10"_s, &ok);
        QVERIFY(ok);
        QVERIFY(!mdlDatabase::CheckLogDatabase(path()).ok);
        QVERIFY(mdlDatabase::RepairLogDatabase(path()).ok);
        QVERIFY(mdlDatabase::CheckLogDatabase(path()).ok);
        m_db = Database::Open(path());
        QCOMPARE(candidates(*m_db, u"Body : \"日本語\""_s), 50);
    }

    /** Every generated pattern selects exactly the rows the Like matcher accepts. */
    void indexedLikeGivesTheScansResult()
    {
        QRandomGenerator random(20261207);
        QList<QStringList> texts; // Body, Subject, PostName by ID - 1
        QVERIFY(m_db->BeginTrans());
        for (int id = 1; id <= 100; ++id) {
            const QStringList row{randomText(random, 6), randomText(random, 2), randomText(random, 1)};
            store(4, id, row[0], row[1], row[2]);
            texts.append(row);
        }
        QVERIFY(m_db->CommitTrans());
        const QStringList columns{u"Body"_s, u"Subject"_s, u"PostName"_s};
        int indexed = 0;
        int found = 0;
        for (int n = 0; n < 10000; ++n) {
            const int column = random.bounded(3);
            const QString pattern = randomPattern(random, texts.at(random.bounded(texts.size())).at(column));
            const QString where = columns[column] + u" Like "_s + JetSql::TextLiteral(pattern);
            indexed += JetSql::Translate(selectIds(where), {}, true).sql.contains(TextIndex::TableName);
            QList<int> expected;
            for (int id = 1; id <= texts.size(); ++id) {
                if (JetSql::Like(texts[id - 1][column], pattern))
                    expected.append(id);
            }
            QCOMPARE(ids(*m_db, where), expected);
            found += !expected.isEmpty();
        }
        QVERIFY2(indexed > 4000, qPrintable(QString::number(indexed)));
        QVERIFY2(found > 1000, qPrintable(QString::number(found)));
    }
};

QTEST_GUILESS_MAIN(TestTextIndex)
#include "tst_textindex.moc"
