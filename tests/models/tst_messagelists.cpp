#include "app/OneShotTimer.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "models/MessageLists.h"
#include "models/mdlMark.h"
#include "models/mdlRead.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace mdlMark;
using namespace mdlRead;

namespace {

using Deltas = QList<std::pair<int, int>>;
constexpr int BoardA = 3;
constexpr int BoardB = 4;

CMessage message(int board, int id, bool read, int mark = 0)
{
    CMessage m;
    std::tie(m.BBS_ID, m.ID, m.Read, m.Mark) = std::tuple(board, id, read, mark);
    m.Body = u"本文"_s;
    return m;
}

/** A new log database and both message lists over it with a hand-driven read timer; records the board-count
 *  and "Count" callbacks and, through triggers, every UPDATE of the Read or Mark column. */
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(QStringLiteral("log.mdb")));
    ManualOneShotTimer timer;
    MessageLists lists{db.get(), &timer};
    QList<std::pair<int, int>> boardDeltas;
    QStringList counts;

    Fixture()
    {
        lists.UpdateBBSMenuCaption = [this](int board, int delta) { boardDeltas.append({board, delta}); };
        lists.ShowCount = [this](const QString &text) { counts.append(text); };
        const QString trigger = QStringLiteral("CREATE TRIGGER Log%1 AFTER UPDATE OF %1 ON Message "
                                               "BEGIN INSERT INTO UpdateLog VALUES('%1'); END");
        if (!db || !db->Execute(QStringLiteral("CREATE TABLE UpdateLog (Kind TEXT(10))"))
            || !db->Execute(trigger.arg(u"Read")) || !db->Execute(trigger.arg(u"Mark")))
            qFatal("no test database");
    }

    void store(const CMessage &m)
    {
        const QString sql = QStringLiteral("INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (%1, %2, %3, '本文', %4)");
        QVERIFY(db->Execute(sql.arg(m.BBS_ID).arg(m.ID).arg(m.Read ? u"True" : u"False").arg(m.Mark)));
    }

    void add(int index, const CMessage &m)
    {
        store(m);
        QVERIFY(lists.AddMessageItem(index, m));
    }

    QVariant stored(int board, int id, const QString &column)
    {
        const auto rs = db->OpenRecordset(QStringLiteral("SELECT %1 FROM Message WHERE BBS_ID = %2 AND ID = %3").arg(column).arg(board).arg(id));
        return rs && !rs->IsEOF() ? rs->Value(0) : QVariant();
    }

    /** The columns updated since the last call ("Read", "Mark"), one entry per row updated. */
    QStringList takeUpdates()
    {
        QStringList kinds;
        if (const auto rs = db->OpenRecordset(QStringLiteral("SELECT Kind FROM UpdateLog")))
            for (int row = 0; row < rs->RecordCount(); ++row)
                kinds.append(rs->Value(row, 0).toString());
        if (!db->Execute(QStringLiteral("DELETE FROM UpdateLog")))
            qFatal("the update log cannot be emptied");
        return kinds;
    }

    void select(int index, const QList<int> &rows)
    {
        MessageListModel &list = lists.lsvMsgList(index);
        list.selectionModel()->clear();
        for (int row : rows)
            list.selectionModel()->select(list.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace

/** Marks and read states set through both message lists and stored in the log database. */
class TestMessageLists : public QObject
{
    Q_OBJECT

private slots:
    void loadMarkMenu()
    {
        Fixture f;
        // Gaps, ID 0, a negative ID and an enormous one.
        QVERIFY(f.db->Execute(u"DELETE FROM Mark WHERE ID = 2 OR ID = 4"_s));
        for (const QString &row : {u"0, 'ゼロ', 255, 255"_s, u"-3, '負', 255, 255"_s, u"6, '六', 65535, 0"_s})
            QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(%1)"_s.arg(row)));
        QVERIFY(LoadMarkMenu(*f.db));
        QCOMPARE(MarkMenu, (QList<MarkMenuItem>{{1, u"マーク&1"_s}, {3, u"マーク&3"_s}, {6, u"六"_s}}));
        QList<std::optional<quint32>> fore;
        for (int id = 0; id <= 7; ++id)
            fore.append(MarkForeColor(id));
        QCOMPARE(fore, (QList<std::optional<quint32>>{SystemWindowText, 128u, 0u, 8388608u, 0u, 0u, 65535u, std::nullopt}));
        QCOMPARE(MarkForeColor(-1), std::nullopt);
        QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(2000000000, '大', 1, 2)"_s));
        QVERIFY(LoadMarkMenu(*f.db));
        QCOMPARE(MarkForeColor(2000000000), 1u);
        // An unreadable table leaves no items and the system slot.
        QVERIFY(f.db->Execute(u"DROP TABLE Mark"_s));
        QVERIFY(!LoadMarkMenu(*f.db));
        QVERIFY(MarkMenu.isEmpty());
        QCOMPARE(MarkForeColor(1), std::nullopt);
    }

    void setMark()
    {
        Fixture f;
        QVERIFY(LoadMarkMenu(*f.db));
        f.add(0, message(BoardA, 10, true));
        f.add(0, message(BoardA, 1234567, true, 3)); // filled with its mark: coloured, nothing written
        f.lists.AddMessageItem(1, message(BoardA, 10, true));
        QCOMPARE(f.lists.lsvMsgList(0).ForeColor(1), 8388608u);
        QVERIFY(f.takeUpdates().isEmpty());
        QVERIFY(SetMark(f.lists, u"#003000010"_s, 2));
        QCOMPARE(f.takeUpdates(), QStringList{u"Mark"_s});
        QCOMPARE(f.stored(BoardA, 10, u"Mark"_s).toInt(), 2);
        for (const MessageListModel *list : {&f.lists.lsvMsgList(0), &f.lists.lsvMsgList(1)})
            QCOMPARE(list->CellText(0, MessageListModel::ColMark), u"2"_s);
        // A mark without a colour slot is stored; its rows look unmarked.
        QVERIFY(SetMark(f.lists, u"#003000010"_s, 9));
        QCOMPARE(f.stored(BoardA, 10, u"Mark"_s).toInt(), 9);
        QCOMPARE(f.lists.lsvMsgList(1).Mark(0), 9);
        QCOMPARE(f.lists.lsvMsgList(1).ForeColor(0), SystemWindowText);
        // The selected rows of the current list, in one transaction; list 0 follows.
        for (int id = 1; id <= 3; ++id)
            f.add(1, message(BoardA, id, true));
        f.lists.AddMessageItem(0, message(BoardA, 3, true));
        f.lists.SetCurrentList(1);
        f.select(1, {3, 1});
        f.takeUpdates();
        QVERIFY(SetSelectedMark(f.lists, 4));
        QCOMPARE(f.takeUpdates().size(), 2);
        QCOMPARE(f.lists.lsvMsgList(0).Mark(2), 4);
        QCOMPARE(f.stored(BoardA, 3, u"Mark"_s).toInt(), 4);
        QCOMPARE(f.stored(BoardA, 2, u"Mark"_s).toInt(), 0);
        // A refused statement leaves the rows as they were.
        QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Mark ON Message "
                              u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        QVERIFY(!SetSelectedMark(f.lists, 1));
        QCOMPARE(f.lists.lsvMsgList(1).Mark(1), 4);
        QVERIFY(!f.db->InTransaction());
    }

    void fillingCountsRowsWithoutWriting()
    {
        Fixture f;
        // 7 rows, 2 unread (12 and 33).
        for (int id : {40, 12, 57, 33, 21, 8, 45})
            f.add(0, message(BoardA, id, id != 12 && id != 33));
        QCOMPARE(f.counts, (QStringList{u"0/1"_s, u"1/2"_s, u"1/3"_s, u"2/4"_s, u"2/5"_s, u"2/6"_s, u"2/7"_s}));
        QCOMPARE(f.lists.MaxListID(), 57);
        QCOMPARE(f.lists.MinListID(), 8);
        QVERIFY(f.takeUpdates().isEmpty()); // stored values are not written back, boards not touched
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
    }

    // Lists: 0 holds A10, A11 unread and A12 read; 1 (current) holds A10 and B5 read, which is not
    // stored. B1234567 is stored, unread, not listed. List 0's row 1 is selected.
    void setRead_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("current"); // row of list 1 selected; -1: none
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("adjustBoard");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("board"); // the message whose stored state is compared
        QTest::addColumn<int>("id");
        QTest::addColumn<QVariant>("stored"); // invalid: not stored
        QTest::addColumn<int>("unread0");
        QTest::addColumn<int>("unread1");
        QTest::addColumn<QString>("shown"); // the Count panel: the current list's after a change
        QTest::addColumn<Deltas>("deltas");
        QTest::addColumn<int>("updates"); // rows updated
        const QVariant yes(true);
        const QVariant no(false);
        QTest::newRow("read in both lists") << u"#003000010"_s << -1 << true << true << true << BoardA << 10 << yes << 1 << 0 << u"0/2"_s << Deltas{{BoardA, -1}} << 1;
        QTest::newRow("read already: no count changes") << u"#003000012"_s << -1 << true << true << true << BoardA << 12 << yes << 2 << 1 << u"1/2"_s << Deltas{} << 1;
        QTest::newRow("unread") << u"#003000012"_s << -1 << false << true << true << BoardA << 12 << no << 3 << 1 << u"1/2"_s << Deltas{{BoardA, 1}} << 1;
        QTest::newRow("board count left alone") << u"#003000011"_s << -1 << true << false << true << BoardA << 11 << yes << 1 << 1 << u"1/2"_s << Deltas{} << 1;
        QTest::newRow("stored, not listed") << u"#0041234567"_s << -1 << true << true << true << BoardB << 1234567 << yes << 2 << 1 << u"1/2"_s << Deltas{{BoardB, -1}} << 1;
        QTest::newRow("listed, not stored") << u"#004000005"_s << -1 << false << true << true << BoardB << 5 << QVariant() << 2 << 2 << u"2/2"_s << Deltas{} << 0;
        QTest::newRow("bad key") << u"#3000011"_s << -1 << true << true << false << BoardA << 11 << no << 2 << 1 << u"2/3"_s << Deltas{} << 0;
        QTest::newRow("no key, no current row") << QString() << -1 << true << true << false << BoardA << 11 << no << 2 << 1 << u"2/3"_s << Deltas{} << 0;
        QTest::newRow("no key: current list's row") << QString() << 0 << true << true << true << BoardA << 10 << yes << 1 << 0 << u"0/2"_s << Deltas{{BoardA, -1}} << 1;
    }

    void setRead()
    {
        QFETCH(QString, key);
        QFETCH(int, current);
        QFETCH(bool, read);
        QFETCH(bool, adjustBoard);
        QFETCH(bool, ok);
        QFETCH(int, board);
        QFETCH(int, id);
        Fixture f;
        for (int listed : {10, 11, 12})
            f.add(0, message(BoardA, listed, listed == 12));
        f.lists.AddMessageItem(1, message(BoardA, 10, false));
        f.lists.AddMessageItem(1, message(BoardB, 5, true));
        f.store(message(BoardB, 1234567, false));
        f.lists.SetCurrentList(1);
        f.lists.lsvMsgList(0).SelectRow(1);
        f.lists.lsvMsgList(1).SelectRow(current);
        f.timer.Start(1000, {});
        QCOMPARE(SetRead(f.lists, key, read, adjustBoard), ok);
        QTEST(f.stored(board, id, u"Read"_s), "stored");
        QTEST(ListUnreadCount(f.lists, 0), "unread0");
        QTEST(ListUnreadCount(f.lists, 1), "unread1");
        QTEST(f.counts.last(), "shown");
        QTEST(f.boardDeltas, "deltas");
        QTEST(int(f.takeUpdates().size()), "updates");
        QCOMPARE(f.timer.IsActive(), !ok); // a change ends the read delay
    }

    void setSelectedRead()
    {
        Fixture f;
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
        Fixture f;
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
        // The delay ends while another row is current: nothing is marked.
        readAfter(1, 1500);
        list.SelectRow(2);
        f.timer.Advance(1500);
        QVERIFY(!IsReadItem(list, 1));
        QCOMPARE(f.boardDeltas.size(), 1);
        // A read state the database refuses is said, and the row stays unread.
        QStringList reports;
        f.lists.ReportWriteFailure = [&reports](const QString &text) { reports.append(text); };
        QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Read ON Message "
                              u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        readAfter(1, 0);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().startsWith(u"既読にできませんでした。"_s));
        QVERIFY(!IsReadItem(list, 1));
    }
};

QTEST_MAIN(TestMessageLists)
#include "tst_messagelists.moc"
