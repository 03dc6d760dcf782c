#include "CBBSFixture.h"

#include "db/Transaction.h"

#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {

/** ID -> RootThread of the stored messages of @p board, as "id:root" texts in ID order. */
QStringList roots(CBBSFixture &f, int board)
{
    QStringList out;
    for (const CMessage &msg : f.stored(board))
        out.append(u"%1:%2"_s.arg(msg.ID).arg(msg.RootThread));
    return out;
}

} // namespace

class TestCBBSThreads : public QObject
{
    Q_OBJECT

private slots:
    void chainInOnePass()
    {
        CBBSFixture f;
        f.save(4, {{12, 11}, {10, 0}, {11, 10}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"10:10"_s, u"11:10"_s, u"12:10"_s}));
    }

    void replyToALaterMessageTakesTwoPasses()
    {
        CBBSFixture f;
        f.save(4, {{20, 25}, {25, 0}, {26, 20}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"20:0"_s, u"25:25"_s, u"26:0"_s}));
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"20:25"_s, u"25:25"_s, u"26:25"_s}));
    }

    void replyToAMissingMessageStartsItsOwnThreadForGood()
    {
        CBBSFixture f;
        f.save(4, {{30, 5}});
        f.bbs.UpdateThreads(4);
        f.save(4, {{5, 0}, {31, 30}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"5:5"_s, u"30:30"_s, u"31:30"_s}));
    }

    void linkedMessagesAndOtherBoardsAreLeftAlone()
    {
        CBBSFixture f;
        f.save(4, {{1, 0}, {2, 1}});
        f.save(5, {{2, 0}, {3, 2}, {4, 1}}); // board 5's message 1 is missing
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 5), QStringList({u"2:0"_s, u"3:0"_s, u"4:0"_s}));
        // A later message replying into an old thread takes the stored root.
        QVERIFY(f.db->Execute(u"UPDATE Message SET RootThread = 99 WHERE BBS_ID = 4 AND ID = 2"_s));
        f.save(4, {{3, 2}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"1:1"_s, u"2:99"_s, u"3:99"_s}));
        f.bbs.UpdateThreads(5);
        QCOMPARE(roots(f, 5), QStringList({u"2:2"_s, u"3:2"_s, u"4:4"_s}));
    }

    void replyCyclesAreLinkedFromTheirSmallestNumber()
    {
        // A message replying to itself, or two replying to each other, would otherwise wait
        // for each other forever; a message hanging off a cycle is linked by the next pass.
        CBBSFixture f;
        f.save(4, {{7, 7}, {40, 41}, {41, 40}, {39, 40}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), QStringList({u"7:7"_s, u"39:0"_s, u"40:40"_s, u"41:40"_s}));
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4).at(1), u"39:40"_s);
    }

    void costFollowsTheUnlinkedMessages()
    {
        CBBSFixture f;
        {
            Transaction transaction(*f.db);
            QList<std::pair<int, int>> many;
            for (int id = 1; id <= 100000; ++id)
                many.append({id, id > 1 ? id - 1 : 0});
            f.save(4, many);
            QVERIFY(transaction.Commit());
        }
        QElapsedTimer clock;
        clock.start();
        f.bbs.UpdateThreads(4);
        const qint64 firstPass = clock.restart();
        f.save(4, {{100001, 50}});
        for (int i = 0; i < 20; ++i)
            f.bbs.UpdateThreads(4);
        const qint64 laterPasses = clock.elapsed();
        QVERIFY2(laterPasses * 5 < firstPass, qPrintable(u"%1 ms / %2 ms"_s.arg(laterPasses).arg(firstPass)));
        QVERIFY(f.bbs.ExecSQL(u"SELECT * FROM Message WHERE BBS_ID = 4 AND RootThread <> 1"_s));
        QCOMPARE(f.bbs.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCBBSThreads)
#include "tst_cbbs_threads.moc"
