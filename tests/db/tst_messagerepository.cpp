#include "NewLogDatabase.h"

#include "db/MessageRepository.h"
#include "support/TestFiles.h"

using namespace Qt::StringLiterals;

/** Messages 1 to 5 of board 4 (2 and 4 read) and message 1 of board 5 (unread). */
class TestMessageRepository : public QObject
{
    Q_OBJECT

    std::unique_ptr<NewLogDatabase> m_log;
    std::unique_ptr<MessageRepository> m_messages;

    QVariant stored(int board, int id, const QString &column)
    {
        return m_log->value(u"SELECT %1 FROM Message WHERE BBS_ID = %2 AND ID = %3"_s.arg(column).arg(board).arg(id));
    }
    int messageCount() { return m_log->value(u"SELECT Count(*) FROM Message"_s).toInt(); }

private slots:
    void init()
    {
        m_log = std::make_unique<NewLogDatabase>();
        QVERIFY(m_log->db);
        for (int id = 1; id <= 5; ++id)
            m_log->message(4, id, id % 2 == 0);
        m_log->message(5, 1);
        m_messages = std::make_unique<MessageRepository>(*m_log->db);
    }

    void cleanup()
    {
        m_messages.reset();
        m_log.reset();
    }

    void setReadReportsTheRowsChanged_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("changed");
        QTest::addColumn<int>("unread"); // of the board afterwards
        QTest::newRow("stored") << 4 << 1 << 1 << 2;
        QTest::newRow("other board, same number") << 5 << 1 << 1 << 0;
        QTest::newRow("not stored") << 4 << 9 << 0 << 3;
    }

    void setReadReportsTheRowsChanged()
    {
        QFETCH(int, board);
        QFETCH(int, id);
        QFETCH(int, changed);
        QFETCH(int, unread);
        QCOMPARE(m_messages->SetRead({board, id}, true), std::optional<int>(changed));
        QCOMPARE(m_messages->UnreadCount(board), unread);
    }

    void setMarkChangesOneMessage()
    {
        QVERIFY(m_messages->SetMark({4, 3}, 7));
        QCOMPARE(stored(4, 3, u"Mark"_s).toInt(), 7);
        QCOMPARE(stored(4, 2, u"Mark"_s).toInt(), 0);
    }

    // A commit that fails (here a deferred reference check, as a full disk or another
    // process's lock would) ends the transaction: its deletes are undone, and a later mark is
    // stored for every reader instead of vanishing with a transaction left open.
    void aFailedCommitEndsTheTransaction()
    {
        m_log->sql(u"PRAGMA foreign_keys = ON"_s);
        m_log->sql(u"CREATE TABLE Quote (BBS_ID, ID, FOREIGN KEY (ID, BBS_ID) REFERENCES Message (ID, BBS_ID) DEFERRABLE INITIALLY DEFERRED)"_s);
        m_log->sql(u"INSERT INTO Quote VALUES (4, 2)"_s);
        QVERIFY(!m_messages->Delete({{4, 1}, {4, 2}}));
        QVERIFY(m_messages->LastError());
        QVERIFY(!m_log->db->InTransaction());
        QCOMPARE(messageCount(), 6);
        QVERIFY(m_messages->SetMark({4, 3}, 7));
        const QString path = m_log->dir.filePath(u"log.mdb"_s);
        QCOMPARE(sqliteTool(path, u"SELECT Mark FROM Message WHERE BBS_ID = 4 AND ID = 3"_s), u"7"_s);
    }
};

QTEST_GUILESS_MAIN(TestMessageRepository)
#include "tst_messagerepository.moc"
