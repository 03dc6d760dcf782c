#include "db/BoardRepository.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
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
 * The board and message repositories over a new log database: the sixteen default boards 3
 * to 18, all listed (ListOrder 0 to 17 with gaps); messages 1 to 5 of board 4 (2 and 4 read)
 * and message 1 of board 5 (unread).
 */
class TestRepositories : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;

    QString path() const { return m_dir->filePath(u"log.mdb"_s); }
    void sql(const QString &statement) { QVERIFY2(m_db->Execute(statement), qPrintable(statement)); }
    QVariant value(const QString &select) { return m_db->OpenRecordset(select)->Value(0); }

    void message(int board, int id, bool read)
    {
        sql(u"INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (%1, %2, %3, 'x', 0)"_s
                .arg(board).arg(id).arg(read ? u"True" : u"False"));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_db = mdlDatabase::CreateLogDatabase(path());
        QVERIFY(m_db);
        for (int id = 1; id <= 5; ++id)
            message(4, id, id % 2 == 0);
        message(5, 1, false);
    }

    void cleanup()
    {
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

    void firstBoardOfType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("board"); // 0: none
        QTest::newRow("left of a pair") << 1 << 13;
        QTest::newRow("right of a pair") << 2 << 14;
        QTest::newRow("no board of the type") << 9 << 0;
    }

    void firstBoardOfType()
    {
        QFETCH(int, type);
        QTEST(BoardRepository(*m_db).FirstBoardOfType(type).value_or(0), "board");
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

    void setMarkChangesOneMessage()
    {
        QVERIFY(MessageRepository(*m_db).SetMark({4, 3}, 7));
        QCOMPARE(value(u"SELECT Mark FROM Message WHERE BBS_ID = 4 AND ID = 3"_s).toInt(), 7);
        QCOMPARE(value(u"SELECT Count(*) FROM Message WHERE Mark = 0"_s).toInt(), 5);
    }

    // A commit that fails (here a deferred reference check, as a full disk or another
    // process's lock would) ends the transaction: its deletes are undone, and a later mark is
    // stored for every reader instead of vanishing with a transaction left open.
    void aFailedCommitEndsTheTransaction()
    {
        sql(u"PRAGMA foreign_keys = ON"_s);
        sql(u"CREATE TABLE Quote (BBS_ID, ID, FOREIGN KEY (ID, BBS_ID) REFERENCES Message (ID, BBS_ID) DEFERRABLE INITIALLY DEFERRED)"_s);
        sql(u"INSERT INTO Quote VALUES (4, 2)"_s);
        MessageRepository messages(*m_db);
        QVERIFY(!messages.Delete({{4, 1}, {4, 2}}));
        QVERIFY(messages.LastError());
        QVERIFY(!m_db->InTransaction());
        QCOMPARE(value(u"SELECT Count(*) FROM Message"_s).toInt(), 6);
        QVERIFY(messages.SetMark({4, 3}, 7));
        QCOMPARE(sqliteTool(path(), u"SELECT Mark FROM Message WHERE BBS_ID = 4 AND ID = 3"_s), u"7"_s);
    }
};

QTEST_GUILESS_MAIN(TestRepositories)
#include "tst_repositories.moc"
