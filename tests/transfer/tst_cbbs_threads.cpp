#include "CBBSFixture.h"

using namespace Qt::StringLiterals;

namespace {

/** "id:root" of the stored messages of @p board in ID order. */
QString roots(CBBSFixture &f, int board)
{
    QStringList out;
    for (const CMessage &msg : f.stored(board))
        out.append(u"%1:%2"_s.arg(msg.ID).arg(msg.RootThread));
    return out.join(u' ');
}

} // namespace

class TestCBBSThreads : public QObject
{
    Q_OBJECT

private slots:
    void linking()
    {
        using Saves = QList<std::pair<int, int>>; // (ID, InReplyTo)
        // Saves, roots after a pass, more saves, roots after a second pass.
        const QList<std::tuple<Saves, QString, Saves, QString>> cases{
            // A chain stored in any order is linked in one pass.
            {{{12, 11}, {10, 0}, {11, 10}}, u"10:10 11:10 12:10"_s, {}, u"10:10 11:10 12:10"_s},
            // A reply to a later message waits for the next pass, and so does its own reply.
            {{{20, 25}, {25, 0}, {26, 20}}, u"20:0 25:25 26:0"_s, {}, u"20:25 25:25 26:25"_s},
            // A reply to a missing message starts a thread for good.
            {{{30, 5}}, u"30:30"_s, {{5, 0}, {31, 30}}, u"5:5 30:30 31:30"_s},
            // Replies in a cycle (also to itself) start from their smallest number.
            {{{7, 7}, {40, 41}, {41, 40}, {39, 40}}, u"7:7 39:0 40:40 41:40"_s, {}, u"7:7 39:40 40:40 41:40"_s},
        };
        for (const auto &[first, afterFirst, second, afterSecond] : cases) {
            CBBSFixture f;
            f.save(4, first);
            f.bbs.UpdateThreads(4);
            QCOMPARE(roots(f, 4), afterFirst);
            f.save(4, second);
            f.bbs.UpdateThreads(4);
            QCOMPARE(roots(f, 4), afterSecond);
        }
    }

    void linkedMessagesAndOtherBoardsAreLeftAlone()
    {
        CBBSFixture f;
        f.save(4, {{1, 0}, {2, 1}});
        f.save(5, {{2, 0}, {3, 2}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 5), u"2:0 3:0"_s);
        // A new reply into an old thread takes the root stored with its parent.
        QVERIFY(f.db->Execute(u"UPDATE Message SET RootThread = 99 WHERE BBS_ID = 4 AND ID = 2"_s));
        f.save(4, {{3, 2}});
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), u"1:1 2:99 3:99"_s);
    }
};

QTEST_GUILESS_MAIN(TestCBBSThreads)
#include "tst_cbbs_threads.moc"
