#include "app/Prompter.h"
#include "db/BoardRepository.h"
#include "db/Database.h"
#include "db/JetSql.h"
#include "db/MessageRepository.h"
#include "db/QueryCursor.h"
#include "db/mdlDatabase.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QList<int> idsOf(const QList<BoardRepository::Entry> &boards)
{
    QList<int> ids;
    for (const BoardRepository::Entry &board : boards)
        ids.append(board.BBS_ID);
    return ids;
}

} // namespace

/**
 * The repositories and the query cursor over a new log database: the sixteen default boards 3
 * to 18, all listed (ListOrder 0 to 17 with gaps); messages 1 to 5 of board 4 (2 and 4 read,
 * 2 marked and with every column filled) and message 1 of board 5 (unread).
 */
class TestLogQueries : public QObject
{
    Q_OBJECT

    ScriptedPrompter m_prompter;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<QueryCursor> m_cursor;

    const CMessage m_full{4, 2, u"S|'"_s, u"http://h.example.jp/"_s, u"m@example.jp"_s, u"名前"_s,
                          CMessage::WallClock(QDate(2024, 1, 1), QTime(12, 0)), 1, u"本文"_s, 0, 3, true};

    QString path() const { return m_dir->filePath(u"log.mdb"_s); }
    void sql(const QString &statement) { QVERIFY2(m_db->Execute(statement), qPrintable(statement)); }
    QVariant value(const QString &select) { return m_db->OpenRecordset(select)->Value(0); }
    int messageCount() { return value(u"SELECT Count(*) FROM Message"_s).toInt(); }

    void store(const CMessage &m)
    {
        Statement insert = m_db->Prepare(u"INSERT INTO Message VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"_s);
        const QVariant values[] = {m.BBS_ID, m.ID, m.Read, m.Subject, m.HomePage, m.Mail, m.PostName,
                                   JetSql::StoredDate(m.PostDate), m.InReplyTo, m.Body, m.RootThread, m.Mark};
        for (int i = 0; i < 12; ++i)
            insert.Bind(i + 1, values[i]);
        QVERIFY2(insert.Execute(), qPrintable(m_db->LastError().description));
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
        store(m_full);
        for (const auto &[board, id, read] : {std::tuple(4, 1, 0), {4, 3, 0}, {4, 4, 1}, {4, 5, 0}, {5, 1, 0}})
            sql(u"INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (%1, %2, %3, 'x', 0)"_s.arg(board).arg(id).arg(read));
        m_cursor = std::make_unique<QueryCursor>(m_db.get());
    }

    void cleanup()
    {
        m_cursor.reset();
        m_db.reset();
        m_dir.reset();
    }

    void listedBoardsComeInListOrderAndHiddenOnesByNumber()
    {
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID IN (9, 5)"_s);
        sql(u"UPDATE BBS SET ListOrder = 1 WHERE BBS_ID = 8"_s); // ties with board 16
        const QList<BoardRepository::Entry> listed = BoardRepository(*m_db).ListedBoards();
        QCOMPARE(idsOf(listed).mid(0, 5), (QList<int>{3, 8, 16, 4, 6}));
        QCOMPARE(listed.first(), (BoardRepository::Entry{3, u"なんでも掲示板"_s, 0, true}));
        QCOMPARE(idsOf(BoardRepository(*m_db).HiddenBoards()), (QList<int>{5, 9}));
    }

    void findByNameMatchesNameOrShortNameLiterally_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("board"); // 0: none
        QTest::newRow("short name, any case") << u"XYZ"_s << 9;
        QTest::newRow("asterisk matches itself") << u"*"_s << 17;
        QTest::newRow("question mark matches itself") << u"?"_s << 0;
        QTest::newRow("bracket matches itself") << u"[左]"_s << 0;
        QTest::newRow("hash matches itself") << u"#"_s << 0;
        QTest::newRow("no such board") << u"存在しない"_s << 0;
    }

    void findByNameMatchesNameOrShortNameLiterally()
    {
        QFETCH(QString, part);
        sql(u"UPDATE BBS SET ShortName = 'xyz' WHERE BBS_ID = 9"_s);
        sql(u"UPDATE BBS SET BBS_Name = 'O''Neil* 2' WHERE BBS_ID = 17"_s);
        QTEST(BoardRepository(*m_db).FindByName(part).value_or(0), "board");
    }

    void setReadChangesOneMessage_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("changed");
        QTest::addColumn<int>("unread"); // of the board afterwards
        QTest::newRow("stored") << 4 << 1 << 1 << 2;
        QTest::newRow("other board, same number") << 5 << 1 << 1 << 0;
        QTest::newRow("not stored") << 4 << 9 << 0 << 3;
    }

    void setReadChangesOneMessage()
    {
        QFETCH(int, board);
        QFETCH(int, id);
        QFETCH(int, changed);
        MessageRepository messages(*m_db);
        QCOMPARE(messages.SetRead({board, id}, true), std::optional<int>(changed));
        QTEST(messages.UnreadCount(board), "unread");
    }

    // A commit that fails (here a deferred reference check, as a full disk or another
    // process's lock would) ends the transaction: its deletes are undone, and a later mark is
    // stored (on that message only) for every reader instead of vanishing with a transaction
    // left open.
    void aFailedCommitEndsTheTransaction()
    {
        sql(u"PRAGMA foreign_keys = ON"_s);
        sql(u"CREATE TABLE Quote (BBS_ID, ID, FOREIGN KEY (ID, BBS_ID) REFERENCES Message (ID, BBS_ID) DEFERRABLE INITIALLY DEFERRED)"_s);
        sql(u"INSERT INTO Quote VALUES (4, 2)"_s);
        MessageRepository messages(*m_db);
        QVERIFY(!messages.Delete({{4, 1}, {4, 2}}));
        QVERIFY(messages.LastError());
        QVERIFY(!m_db->InTransaction());
        QCOMPARE(messageCount(), 6);
        QVERIFY(messages.SetMark({4, 3}, 7));
        QCOMPARE(value(u"SELECT Count(*) FROM Message WHERE Mark = 7"_s).toInt(), 1);
        QCOMPARE(sqliteTool(path(), u"SELECT Mark FROM Message WHERE BBS_ID = 4 AND ID = 3"_s), u"7"_s);
    }
    void statementsReturnTheirQueryType_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::newRow("union") << u"SELECT ID FROM Message UNION SELECT 9"_s << int(JetSql::Union) << 6;
        QTest::newRow("crosstab") << u"TRANSFORM Count(ID) SELECT BBS_ID FROM Message GROUP BY BBS_ID PIVOT Read"_s
                                  << int(JetSql::Crosstab) << 2;
    }

    void statementsReturnTheirQueryType()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        DbError error;
        QCOMPARE(m_cursor->ExecSQL(sql, &error), std::optional<int>(type));
        QVERIFY2(!error, qPrintable(error.description));
        QTEST(m_cursor->count(), "count");
    }

    // Statements of no query type are the engine's own: the cursor refuses them with a reason
    // of its own, asks for nothing and runs nothing, and the open result stays.
    void engineStatementsAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("PRAGMA") << u"PRAGMA user_version = [version]"_s;
        QTest::newRow("ATTACH") << u"ATTACH 'other.mdb' AS other"_s;
        QTest::newRow("VACUUM") << u"VACUUM"_s;
        QTest::newRow("BEGIN") << u"BEGIN"_s;
        QTest::newRow("EXPLAIN") << u"EXPLAIN SELECT * FROM Message"_s;
    }

    void engineStatementsAreRefused()
    {
        QFETCH(QString, sql);
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message"_s));
        m_prompter.pushText(u"7"_s);
        DbError error;
        QVERIFY(!m_cursor->ExecSQL(sql, &error));
        QCOMPARE(error.number, QueryCursor::Refusal().number);
        QCOMPARE(error.description, u"現在未対応ですm(_ _)m"_s);
        QVERIFY(m_prompter.textPrompts().isEmpty());
        QCOMPARE(value(u"PRAGMA user_version"_s).toInt(), 0);
        QVERIFY(!m_db->InTransaction());
        QCOMPARE(m_cursor->count(), 6);
    }

    void sqlTypeIsZeroForExactlyTheMessageColumns_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("sqlType");
        QTest::newRow("all columns") << u"SELECT * FROM Message"_s << 0;
        QTest::newRow("named, other case") << u"select bbs_id, id, read, subject, homepage, mail, postname, postdate,"
                                              " inreplyto, body, rootthread, mark from Message"_s
                                           << 0;
        QTest::newRow("some columns") << u"SELECT ID, Subject FROM Message"_s << 1;
        QTest::newRow("other order") << u"SELECT ID, BBS_ID, Read, Subject, Homepage, Mail, PostName, PostDate, InReplyTo,"
                                        " Body, RootThread, Mark FROM Message"_s
                                     << 1;
    }

    void sqlTypeIsZeroForExactlyTheMessageColumns()
    {
        QFETCH(QString, sql);
        QVERIFY(m_cursor->ExecSQL(sql));
        QTEST(m_cursor->SQLType(), "sqlType");
    }

    void rowsReadBackAsTheMessagesStored()
    {
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message WHERE BBS_ID = 4 AND ID <= 2 ORDER BY ID DESC"_s));
        QCOMPARE(*m_cursor->Messages(0), m_full);
        QCOMPARE(m_cursor->Messages(0)->PostDate.timeSpec(), Qt::UTC);
        QCOMPARE(m_cursor->Messages(1)->ID, 1);
        QVERIFY(!m_cursor->Messages(2));
        m_cursor->Recordset()->MoveNext(); // GetMessage follows the result's cursor
        QCOMPARE(m_cursor->GetMessage()->ID, 1);
    }

    // Action statements, also failing ones, leave the result open; Initialize closes it.
    void onlyAResultOrInitializeReplacesTheResult()
    {
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message"_s));
        QVERIFY(m_cursor->ExecSQL(u"DELETE FROM Message WHERE ID = 1"_s));
        QVERIFY(!m_cursor->ExecSQL(u"DELETE FROM NoTable"_s));
        QVERIFY(m_cursor->Messages(1));
        m_cursor->Initialize(m_db.get());
        QVERIFY(!m_cursor->Recordset());
        QCOMPARE(m_cursor->SQLType(), 1);
    }

    // The window's cursor outlives a database that failed to reopen after compaction.
    void noDatabaseIsAnError()
    {
        QueryCursor cursor(nullptr);
        DbError error;
        QVERIFY(!cursor.ExecSQL(u"SELECT 1"_s, &error));
        QCOMPARE(error.number, DbError::InvalidOperation);
    }

    void parametersAreAskedByName()
    {
        m_prompter.pushText(u"4"_s);
        m_prompter.pushText(u"5"_s);
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message WHERE BBS_ID = [掲示板] AND ID >= [最小番号]"_s));
        QCOMPARE(m_prompter.textPrompts(), QStringList({u"掲示板"_s, u"最小番号"_s}));
        QCOMPARE(m_cursor->count(), 1);
    }

    void aCancelledParameterRunsNothing()
    {
        m_prompter.pushText(std::nullopt);
        DbError error;
        QVERIFY(!m_cursor->ExecSQL(u"DELETE FROM Message WHERE ID <> [番号]"_s, &error));
        QCOMPARE(error.number, int(DbError::TooFewParameters));
        QCOMPARE(messageCount(), 6);
    }
};

QTEST_GUILESS_MAIN(TestLogQueries)
#include "tst_logqueries.moc"
