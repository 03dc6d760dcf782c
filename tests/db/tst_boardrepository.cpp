#include "NewLogDatabase.h"

#include "db/BoardRepository.h"

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

class TestBoardRepository : public QObject
{
    Q_OBJECT

    std::unique_ptr<NewLogDatabase> m_log;
    std::unique_ptr<BoardRepository> m_boards;

private slots:
    void init()
    {
        m_log = std::make_unique<NewLogDatabase>();
        QVERIFY(m_log->db);
        m_boards = std::make_unique<BoardRepository>(*m_log->db);
    }

    void cleanup()
    {
        m_boards.reset();
        m_log.reset();
    }

    void listedBoardsComeInListOrderAndHiddenOnesByNumber()
    {
        m_log->sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID IN (9, 5)"_s);
        m_log->sql(u"UPDATE BBS SET ListOrder = 1 WHERE BBS_ID = 8"_s); // ties with board 16
        const QList<BoardRepository::Entry> listed = m_boards->ListedBoards();
        QCOMPARE(idsOf(listed).mid(0, 5), (QList<int>{3, 8, 16, 4, 6}));
        QCOMPARE(listed.first(), (BoardRepository::Entry{3, u"なんでも掲示板"_s, 0, true}));
        QCOMPARE(idsOf(m_boards->HiddenBoards()), (QList<int>{5, 9}));
    }

    void findByNameMatchesNameOrShortNameLiterally_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("board"); // 0: none
        QTest::newRow("short name, any case") << u"XYZ"_s << 9;
        QTest::newRow("asterisk matches itself") << u"*"_s << 17;
        QTest::newRow("question mark matches itself") << u"?"_s << 0;
        QTest::newRow("bracket matches itself") << u"[左]"_s << 0;
        QTest::newRow("no such board") << u"存在しない"_s << 0;
    }

    void findByNameMatchesNameOrShortNameLiterally()
    {
        QFETCH(QString, part);
        QFETCH(int, board);
        m_log->sql(u"UPDATE BBS SET ShortName = 'xyz' WHERE BBS_ID = 9"_s);
        m_log->sql(u"UPDATE BBS SET BBS_Name = 'O''Neil*' WHERE BBS_ID = 17"_s);
        QCOMPARE(m_boards->FindByName(part).value_or(0), board);
    }

    void firstBoardOfType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("board"); // 0: none
        QTest::newRow("left of a pair") << 1 << 13;
        QTest::newRow("right of a pair") << 2 << 14;
        QTest::newRow("lowest number of the type") << 0 << 4;
        QTest::newRow("no board of the type") << 9 << 0;
    }

    void firstBoardOfType()
    {
        QFETCH(int, type);
        QFETCH(int, board);
        QCOMPARE(m_boards->FirstBoardOfType(type).value_or(0), board);
    }
};

QTEST_GUILESS_MAIN(TestBoardRepository)
#include "tst_boardrepository.moc"
