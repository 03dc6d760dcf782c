#include "MessageListsFixture.h"

#include "app/mdlOption.h"
#include "models/mdlRead.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace mdlRead;

namespace {

using Deltas = QList<std::pair<int, int>>;
constexpr int BoardA = 3;
constexpr int BoardB = 4;

CMessage message(int board, int id, bool read)
{
    return MessageListsFixture::message(board, id, read);
}

} // namespace

class TestMdlRead : public QObject
{
    Q_OBJECT

private slots:
    void fillingCountsRowsWithoutWriting()
    {
        MessageListsFixture f;
        // 7 rows, 2 unread (12 and 33), one marked.
        for (int id : {40, 12, 57, 33, 21, 8, 45})
            f.add(0, MessageListsFixture::message(BoardA, id, id != 12 && id != 33, id == 33 ? 2 : 0));
        QVERIFY(!f.lists.AddMessageItem(0, message(BoardA, 40, false))); // listed already
        QCOMPARE(f.counts, (QStringList{u"0/1"_s, u"1/2"_s, u"1/3"_s, u"2/4"_s, u"2/5"_s, u"2/6"_s, u"2/7"_s}));
        // Stored values are not written back, boards are not touched.
        QCOMPARE(f.lists.lsvMsgList(0).ReadText(1), u"*"_s);
        QCOMPARE(f.lists.lsvMsgList(0).ReadText(0), u" "_s);
        QCOMPARE(f.lists.lsvMsgList(0).Mark(3), 2);
        QCOMPARE(f.lists.MaxListID(), 57);
        QCOMPARE(f.lists.MinListID(), 8);
        QVERIFY(f.takeUpdates().isEmpty());
        QVERIFY(f.boardDeltas.isEmpty());
        // List 1 counts its own rows and leaves the ID range of list 0; a message listed in both
        // shows its stored state in both.
        f.lists.AddMessageItem(1, message(BoardA, 40, false));
        f.lists.AddMessageItem(1, message(BoardB, 7, false));
        QCOMPARE(UnreadCountText(f.lists, 1), u"2/2"_s);
        QCOMPARE(f.counts.last(), u"3/7"_s); // the count shown is list 0's
        QCOMPARE(f.lists.MaxListID(), 57);
        f.lists.ClearMessageList(0);
        QCOMPARE(f.lists.MaxListID(), 0);
        QCOMPARE(UnreadCountText(f.lists, 0), u"0/0"_s);
        QCOMPARE(UnreadCountText(f.lists, 1), u"2/2"_s);
    }

    void setRead()
    {
        MessageListsFixture f;
        for (int id : {10, 11})
            f.add(0, message(BoardA, id, false));
        f.lists.AddMessageItem(1, message(BoardA, 10, false));
        f.lists.SetCurrentList(1);
        f.timer.Start(1000, {});
        QVERIFY(SetRead(f.lists, u"#003000010"_s, true, true));
        QCOMPARE(f.stored(BoardA, 10, u"Read"_s), QVariant(true));
        QCOMPARE(f.takeUpdates(), QStringList{u"Read"_s});
        QCOMPARE(f.lists.lsvMsgList(0).ReadText(0), u" "_s);
        QCOMPARE(f.lists.lsvMsgList(1).ReadText(0), u" "_s);
        QCOMPARE(ListUnreadCount(f.lists, 0), 1);
        QCOMPARE(ListUnreadCount(f.lists, 1), 0);
        QCOMPARE(f.boardDeltas, (Deltas{{BoardA, -1}}));
        QCOMPARE(f.counts.last(), u"0/1"_s);
        QVERIFY(!f.timer.IsActive());
        // Again: the statement runs, no count changes anywhere.
        QVERIFY(SetRead(f.lists, u"#003000010"_s, true, true));
        QCOMPARE(f.takeUpdates().size(), 1);
        QCOMPARE(f.boardDeltas.size(), 1);
        QCOMPARE(ListUnreadCount(f.lists, 0), 1);
        QVERIFY(SetRead(f.lists, u"#003000010"_s, false, true));
        QCOMPARE(f.stored(BoardA, 10, u"Read"_s), QVariant(false));
        QCOMPARE(f.boardDeltas.last(), (std::pair{BoardA, 1}));
        QCOMPARE(ListUnreadCount(f.lists, 0), 2);
        QCOMPARE(ListUnreadCount(f.lists, 1), 1);
        // Without board adjustment only the board count stays.
        QVERIFY(SetRead(f.lists, u"#003000011"_s, true, false));
        QCOMPARE(f.stored(BoardA, 11, u"Read"_s), QVariant(true));
        QCOMPARE(ListUnreadCount(f.lists, 0), 1);
        QCOMPARE(f.boardDeltas.size(), 2);
        // Stored but not listed: the record decides. Listed but not stored: no board change.
        f.store(message(BoardB, 1234567, false));
        QVERIFY(SetRead(f.lists, CMessage::MakeKey(BoardB, 1234567), true, true));
        QCOMPARE(f.stored(BoardB, 1234567, u"Read"_s), QVariant(true));
        QCOMPARE(f.boardDeltas.last(), (std::pair{BoardB, -1}));
        f.lists.AddMessageItem(1, message(BoardB, 5, true));
        QVERIFY(SetRead(f.lists, u"#004000005"_s, false, true));
        QCOMPARE(f.lists.lsvMsgList(1).ReadText(1), u"*"_s);
        QCOMPARE(f.boardDeltas.size(), 3);
        // An empty key means the current list's selected row.
        QVERIFY(!SetRead(f.lists, {}, true, true));
        f.lists.lsvMsgList(1).SelectRow(0);
        f.lists.lsvMsgList(0).SelectRow(1);
        QVERIFY(SetRead(f.lists, {}, true, true));
        QVERIFY(IsReadItem(f.lists.lsvMsgList(1), 0));
        f.takeUpdates();
        QVERIFY(!SetRead(f.lists, u"#3000011"_s, true, true));
        QVERIFY(f.takeUpdates().isEmpty());
    }

    void setSelectedRead()
    {
        MessageListsFixture f;
        // Selected: A1 A2 B3 unread, A4 B5 read; A6 unread but not selected.
        for (const auto &[board, id, read] : QList<std::tuple<int, int, bool>>{
                 {BoardA, 1, false}, {BoardA, 2, false}, {BoardB, 3, false}, {BoardA, 4, true}, {BoardB, 5, true}, {BoardA, 6, false}})
            f.add(1, message(board, id, read));
        f.lists.AddMessageItem(0, message(BoardA, 1, false));
        f.select(1, {4, 0, 3, 1, 2});
        QVERIFY(SetSelectedRead(f.lists, 1, true));
        QCOMPARE(f.takeUpdates().size(), 3);
        QCOMPARE(ListUnreadCount(f.lists, 1), 1);
        QCOMPARE(ListUnreadCount(f.lists, 0), 0);
        QCOMPARE(f.counts.last(), u"1/6"_s);
        QCOMPARE(f.boardDeltas, (Deltas{{BoardA, -2}, {BoardB, -1}}));
        QCOMPARE(f.stored(BoardB, 3, u"Read"_s), QVariant(true));
        QCOMPARE(f.stored(BoardA, 6, u"Read"_s), QVariant(false));
        QVERIFY(SetSelectedRead(f.lists, 1, true)); // nothing left to change
        QVERIFY(!f.db->InTransaction());
        QVERIFY(f.takeUpdates().isEmpty());
        QCOMPARE(f.boardDeltas.size(), 2);
        // A refused row ends the walk; the rows before it keep their new, stored state.
        QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Read ON Message WHEN NEW.ID = 4 "
                              u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        QVERIFY(!SetSelectedRead(f.lists, 1, false));
        QCOMPARE(f.stored(BoardB, 3, u"Read"_s), QVariant(false));
        QCOMPARE(f.stored(BoardA, 4, u"Read"_s), QVariant(true));
        QCOMPARE(ListUnreadCount(f.lists, 1), 4);
        QCOMPARE(ListUnreadCount(f.lists, 0), 1);
        QCOMPARE(f.boardDeltas.mid(2), (Deltas{{BoardA, 2}, {BoardB, 1}}));
        QVERIFY(!f.db->InTransaction());
    }

    void readTimer()
    {
        const mdlOption::OptionsGuard options;
        MessageListsFixture f;
        for (int id = 1; id <= 4; ++id)
            f.add(0, message(BoardA, id, id == 3));
        MessageListModel &list = f.lists.lsvMsgList(0);
        const auto readAfter = [&](int row, int delay) {
            mdlOption::ReadTiming = delay;
            list.SelectRow(row);
            StartReadTimer(f.lists);
        };
        readAfter(3, 0); // at once
        QVERIFY(IsReadItem(list, 3));
        QCOMPARE(f.boardDeltas, (Deltas{{BoardA, -1}}));
        readAfter(0, 1500);
        f.timer.Advance(1499);
        QCOMPARE(f.timer.Interval(), 1500);
        QVERIFY(!IsReadItem(list, 0));
        f.timer.Advance(1);
        QVERIFY(IsReadItem(list, 0));
        QVERIFY(!f.timer.IsActive());
        QCOMPARE(f.boardDeltas.size(), 2);
        // Stopped in time the message stays unread; a new start waits the whole delay again.
        readAfter(1, 1500);
        f.timer.Advance(1000);
        StopReadTimer(f.lists);
        f.timer.Advance(1000);
        StartReadTimer(f.lists);
        f.timer.Advance(1499);
        QVERIFY(!IsReadItem(list, 1));
        f.timer.Advance(1);
        QVERIFY(IsReadItem(list, 1));
        // The delay ends on a row that is read already: no board change.
        readAfter(0, 1500);
        list.SelectRow(2);
        f.timer.Advance(1500);
        QVERIFY(IsReadItem(list, 2));
        QCOMPARE(f.boardDeltas.size(), 3);
    }

    // The delay's read state that the database refuses is said, and the row stays unread.
    void readStateTheDatabaseRefusesIsReported()
    {
        const mdlOption::OptionsGuard options;
        mdlOption::ReadTiming = 0;
        MessageListsFixture f;
        f.add(0, message(BoardA, 1, false));
        QStringList reports;
        f.lists.ReportWriteFailure = [&reports](const QString &text) { reports.append(text); };
        QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Read ON Message "
                              u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        f.lists.lsvMsgList(0).SelectRow(0);
        StartReadTimer(f.lists);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().startsWith(u"既読にできませんでした。"_s));
        QVERIFY(!IsReadItem(f.lists.lsvMsgList(0), 0));
    }
};

QTEST_MAIN(TestMdlRead)
#include "tst_mdlread.moc"
