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

    int listOrder(int board) { return m_log->value(u"SELECT ListOrder FROM BBS WHERE BBS_ID = %1"_s.arg(board)).toInt(); }
    bool visitLoad(int board) { return m_log->value(u"SELECT VisitLoad FROM BBS WHERE BBS_ID = %1"_s.arg(board)).toBool(); }

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
        QTest::newRow("part of a name") << u"雑談"_s << 4;
        QTest::newRow("short name, any case") << u"XYZ"_s << 9;
        QTest::newRow("asterisk matches itself") << u"*"_s << 17;
        QTest::newRow("quote") << u"O'Neil"_s << 17;
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

    void lookupsByNumberAndType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("board"); // 0: none
        QTest::newRow("left of a pair") << 1 << 13;
        QTest::newRow("right of a pair") << 2 << 14;
        QTest::newRow("lowest number of the type") << 0 << 4;
        QTest::newRow("no board of the type") << 9 << 0;
    }

    void lookupsByNumberAndType()
    {
        QFETCH(int, type);
        QFETCH(int, board);
        QCOMPARE(m_boards->FirstBoardOfType(type).value_or(0), board);
    }

    void visitLoadAndAllBoardsOfTheTable()
    {
        m_log->sql(u"UPDATE BBS SET VisitLoad = False WHERE BBS_ID = 6"_s);
        QCOMPARE(m_boards->VisitLoad(6), std::optional<bool>(false));
        QCOMPARE(m_boards->VisitLoad(7), std::optional<bool>(true));
        QCOMPARE(m_boards->VisitLoad(99), std::nullopt);
        const std::optional<QList<int>> ids = m_boards->AllBoardIds();
        QVERIFY(ids);
        QCOMPARE(ids->size(), 16);
        QCOMPARE(ids->first(), 3);
    }

    void listedBoardOrTheFirstListed_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("board");
        QTest::newRow("listed") << QString() << 5 << 5;
        QTest::newRow("not listed") << u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID = 5"_s << 5 << 3;
        QTest::newRow("no such board") << QString() << 99 << 3;
        QTest::newRow("first position moved") << u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID = 3"_s << 99 << 16;
        QTest::newRow("none listed") << u"UPDATE BBS SET ListOrder = -1"_s << 5 << 0;
    }

    void listedBoardOrTheFirstListed()
    {
        QFETCH(QString, change);
        QFETCH(int, asked);
        QFETCH(int, board);
        if (!change.isEmpty())
            m_log->sql(change);
        QCOMPARE(m_boards->ListedBoardOr(asked), board);
    }

    void storeListOrderPlacesBoardsAndSeparators()
    {
        QVERIFY(m_boards->StoreListOrder({5, -1, 3}, {3, 9}));
        QCOMPARE(listOrder(5), 0);
        QCOMPARE(listOrder(3), 2);
        QCOMPARE(listOrder(4), -1);
        QVERIFY(visitLoad(3));
        QVERIFY(!visitLoad(5));
        QVERIFY(!visitLoad(9)); // not listed: never visited
        QVERIFY(!m_log->db->InTransaction());
    }

    void failedStoreKeepsEveryBoardAsItWas()
    {
        m_log->sql(u"CREATE TRIGGER refuse BEFORE UPDATE OF ListOrder ON BBS "
                   "WHEN NEW.BBS_ID = 3 AND NEW.ListOrder = 1 BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
        QVERIFY(!m_boards->StoreListOrder({5, 3}, {}));
        QCOMPARE(m_boards->LastError().description, u"refused"_s);
        QCOMPARE(listOrder(3), 0);
        QCOMPARE(listOrder(5), 3);
        QVERIFY(visitLoad(4));
        QVERIFY(!m_log->db->InTransaction());
    }
};

QTEST_GUILESS_MAIN(TestBoardRepository)
#include "tst_boardrepository.moc"
