#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/JetSql.h"
#include "db/TextIndex.h"
#include "db/mdlDatabase.h"
#include "support/OtherProcess.h"
#include "support/TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

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

/** @p text with its letters' case and width changed at random. */
QString variantOf(QRandomGenerator &random, QString text)
{
    for (QChar &c : text) {
        const int choice = random.bounded(4);
        c = choice == 0 ? c.toUpper() : choice == 1 ? c.toLower() : c;
        if (choice == 2 && c.unicode() >= u'!' && c.unicode() <= u'~')
            c = QChar(c.unicode() + 0xfee0); // the full-width form
    }
    return text;
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

    void store(int board, int id, const QString &body, const QString &subject = u"件名"_s, const QString &name = u"名無し"_s)
    {
        QVERIFY2(m_db->Execute(u"INSERT INTO Message (BBS_ID, ID, Read, Body, Subject, PostName, Mark)"
                               " VALUES (b, i, False, t, s, n, 0)"_s, {board, id, body, subject, name}),
                 qPrintable(m_db->LastError().description));
    }

    /** Four messages, indexed unless @p pending. */
    void storeFour(bool pending = false)
    {
        for (const auto &[board, id, body] : {std::tuple(4, 1, u"長い日本語の本文"_s), {5, 2, u"English"_s},
                                              {-3, 3, u"にほんご 日本語"_s}, {2147483647, 4, u"日本語"_s}})
            store(board, id, body);
        if (!pending)
            QCOMPARE(TextIndex::IndexPending(*m_db, 1000), 4);
    }

    /** The first column of what @p select gives, in order; {-1} when it fails. */
    QList<int> ids(Database &db, const QString &select)
    {
        const std::optional<Recordset> rs = db.OpenRecordset(select);
        if (!rs)
            return {-1};
        QList<int> result;
        for (int row = 0; row < rs->RecordCount(); ++row)
            result.append(rs->Value(row, 0).toInt());
        std::sort(result.begin(), result.end());
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
    }

    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    // Board 4 message 1, board 5 message 2 (no match), board -3 message 3, last board message 4.
    void likeStatementsGiveTheirRowsWithOrWithoutTheIndex_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("indexed");
        QTest::addColumn<QList<int>>("found"); // -1: the statement fails
        const QString all = u"SELECT ID FROM Message WHERE "_s;
        QTest::newRow("body search") << u"SELECT ID\n  FROM Message\n WHERE BBS_ID = 4\n   AND Body Like '*日本語*'\n;"_s
                                     << true << QList<int>{1};
        QTest::newRow("alias, last board") << u"SELECT m.ID FROM Message AS m WHERE m.Body Like '*日本語*' AND m.BBS_ID = 2147483647"_s
                                           << true << QList<int>{4};
        QTest::newRow("name, negative board") << all + u"BBS_ID = -3 AND [PostName] Like '名無し'"_s << true << QList<int>{3};
        QTest::newRow("under OR") << all + u"ID = 2 OR Body Like '*日本語*'"_s << false << QList<int>{1, 2, 3, 4};
        QTest::newRow("under NOT") << all + u"NOT Body Like '*日本語*'"_s << false << QList<int>{2};
        QTest::newRow("in a CASE") << all + u"CASE WHEN ID > 1 AND Body Like '*日本語*' AND 1 THEN 1 ELSE 0 END"_s
                                   << false << QList<int>{3, 4};
        QTest::newRow("texts under OR in parentheses")
            << all + u"BBS_ID = 5 AND (Body Like '*Engl*' OR Subject Like '*日本語*')"_s << true << QList<int>{2};
        QTest::newRow("a short literal under OR") << all + u"(Body Like '*English*' OR Subject Like '*件*')"_s
                                                  << false << QList<int>{1, 2, 3, 4};
        QTest::newRow("parentheses under NOT") << all + u"NOT (Body Like '*English*' OR Body Like '*日本語*')"_s
                                               << false << QList<int>{};
        QTest::newRow("unterminated literal") << all + u"Body Like '*日本語*"_s << false << QList<int>{-1};
    }

    void likeStatementsGiveTheirRowsWithOrWithoutTheIndex()
    {
        QFETCH(QString, statement);
        QFETCH(bool, indexed);
        QFETCH(QList<int>, found);
        storeFour(true); // pending rows are candidates of every search
        QCOMPARE(JetSql::Translate(statement, {}, true).sql.contains(TextIndex::TableName), indexed);
        QCOMPARE(ids(*m_db, statement), found);
    }

    void indexFollowsEveryChangeOfTheRows_data()
    {
        QTest::addColumn<bool>("pending"); // the rows are not indexed yet when changed
        QTest::addColumn<QString>("change");
        QTest::addColumn<QList<int>>("found"); // the messages whose body holds "日本語"
        QTest::newRow("body changed") << false << u"UPDATE Message SET Body = 'です' WHERE ID = 1"_s << QList<int>{3, 4};
        QTest::newRow("moved to another board") << false << u"UPDATE Message SET BBS_ID = 7 WHERE ID = 3"_s
                                                << QList<int>{1, 3, 4};
        QTest::newRow("deleted") << false << u"DELETE FROM Message WHERE ID = 1"_s << QList<int>{3, 4};
        QTest::newRow("pending deleted") << true << u"DELETE FROM Message WHERE ID = 1"_s << QList<int>{3, 4};
        QTest::newRow("key out of 32 bits refused") << false << u"UPDATE Message SET ID = 4294967296 WHERE ID = 1"_s
                                                    << QList<int>{1, 3, 4};
    }

    void indexFollowsEveryChangeOfTheRows()
    {
        QFETCH(bool, pending);
        QFETCH(QString, change);
        QFETCH(QList<int>, found);
        storeFour(pending);
        static_cast<void>(m_db->Execute(change));
        QCOMPARE(ids(*m_db, u"SELECT ID FROM Message WHERE Body Like '*日本語*'"_s), found);
        QVERIFY(TextIndex::IndexPending(*m_db, 1000));
        QCOMPARE(candidates(*m_db, u"Body : \"日本語\""_s), found.size());
    }

    void indexSurvivesCompaction()
    {
        // Deleting the first row makes VACUUM INTO renumber the rows of table Message.
        storeFour();
        QVERIFY(m_db->Execute(u"DELETE FROM Message WHERE ID = 1"_s));
        const QString copy = m_dir->filePath(u"copy.mdb"_s);
        QVERIFY(m_db->Compact(copy));
        std::unique_ptr<Database> compacted = Database::Open(copy);
        QVERIFY(compacted->Execute(u"DELETE FROM Message WHERE ID = 3"_s));
        QCOMPARE(ids(*compacted, u"SELECT ID FROM Message WHERE Body Like '*日本語*'"_s), QList<int>{4});
        QCOMPARE(candidates(*compacted, u"Body : \"日本語\""_s), 1);
    }

    void openingMakesTheIndexAgreeWithTheOption_data()
    {
        QTest::addColumn<bool>("use");          // option UseTextIndex
        QTest::addColumn<bool>("otherProcess"); // another process has the file open
        QTest::addColumn<bool>("indexed");      // the file has the index afterwards
        QTest::addColumn<int>("pending");       // -1: no pending table
        QTest::newRow("on, triggers gone: made empty, every row pending") << true << false << true << 2;
        QTest::newRow("off: dropped") << false << false << false << -1;
        QTest::newRow("off, file in use: kept") << false << true << true << 2;
        QTest::newRow("on, triggers gone, file in use: not made") << true << true << false << 1;
    }

    void openingMakesTheIndexAgreeWithTheOption()
    {
        QFETCH(bool, use);
        QFETCH(bool, otherProcess);
        store(4, 1, u"日本語"_s);
        if (use)
            QVERIFY(m_db->ExecuteNative(u"DROP TRIGGER MSysMessageText_Insert"_s));
        store(4, 2, u"日本語です"_s);
        m_db.reset();
        const mdlOption::OptionsGuard keep;
        mdlOption::UseTextIndex = use;
        const auto other = otherProcess ? std::make_unique<OtherProcess>(path()) : nullptr;
        m_db = mdlDatabase::OpenLogDatabase(path());
        QTEST(m_db->HasTextIndex(), "indexed");
        QTEST(int(TextIndex::PendingCount(*m_db).value_or(-1)), "pending");
        QCOMPARE(ids(*m_db, u"SELECT ID FROM Message WHERE Body Like '*日本語*'"_s), (QList<int>{1, 2}));
    }

    void checkFindsADamagedIndexAndRepairRebuildsIt()
    {
        storeFour();
        m_db.reset();
        bool ok = false;
        sqliteTool(path(), u"DELETE FROM MSysMessageText_data WHERE id > 10"_s, &ok);
        QVERIFY(ok);
        QVERIFY(!mdlDatabase::CheckLogDatabase(path()).ok);
        QVERIFY(mdlDatabase::RepairLogDatabase(path()).ok);
        QVERIFY(mdlDatabase::CheckLogDatabase(path()).ok);
        m_db = Database::Open(path());
        QCOMPARE(candidates(*m_db, u"Body : \"日本語\""_s), 3);
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
        QCOMPARE(TextIndex::IndexPending(*m_db, 50), 50); // half of the rows stay pending
        const QStringList columns{u"Body"_s, u"Subject"_s, u"PostName"_s};
        int indexed = 0;
        int found = 0;
        for (int n = 0; n < 10000; ++n) {
            // Every third statement asks for either of two terms, in parentheses.
            QList<std::pair<int, QString>> terms;
            QStringList likes;
            for (int k = n % 3 ? 1 : 2; k > 0; --k) {
                const int column = random.bounded(3);
                terms.append({column, randomPattern(random, texts.at(random.bounded(texts.size())).at(column))});
                likes.append(columns[column] + u" Like "_s + JetSql::TextLiteral(terms.last().second));
            }
            const QString select = u"SELECT ID FROM Message WHERE "_s
                + (likes.size() == 1 ? likes.first() : u"("_s + likes.join(u" OR "_s) + u')');
            indexed += JetSql::Translate(select, {}, true).sql.contains(TextIndex::TableName);
            QList<int> expected;
            for (int id = 1; id <= texts.size(); ++id) {
                if (std::any_of(terms.cbegin(), terms.cend(),
                                [&](const auto &term) { return JetSql::Like(texts[id - 1][term.first], term.second); }))
                    expected.append(id);
            }
            QCOMPARE(ids(*m_db, select), expected);
            found += !expected.isEmpty();
        }
        QVERIFY2(indexed > 3500, qPrintable(QString::number(indexed)));
        QVERIFY2(found > 1000, qPrintable(QString::number(found)));
    }
};

QTEST_GUILESS_MAIN(TestTextIndex)
#include "tst_textindex.moc"
