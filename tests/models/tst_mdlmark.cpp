#include "MessageListsFixture.h"

#include "models/mdlMark.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace mdlMark;

namespace {

constexpr int Board = 3;

CMessage message(int id, int mark = 0)
{
    return MessageListsFixture::message(Board, id, true, mark);
}

} // namespace

class TestMdlMark : public QObject
{
    Q_OBJECT

private slots:
    void loadMarkMenu()
    {
        MessageListsFixture f;
        // Gaps, ID 0, a negative ID and an enormous one.
        QVERIFY(f.db->Execute(u"DELETE FROM Mark WHERE ID = 2 OR ID = 4"_s));
        for (const QString &row : {u"0, 'ゼロ', 255, 255"_s, u"-3, '負', 255, 255"_s, u"6, '六', 65535, 0"_s})
            QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(%1)"_s.arg(row)));
        QVERIFY(LoadMarkMenu(*f.db));
        QCOMPARE(MarkUpperBound(), 6);
        QCOMPARE(MarkMenu, (QList<MarkMenuItem>{{1, u"マーク&1"_s}, {3, u"マーク&3"_s}, {6, u"六"_s}}));
        QList<std::optional<quint32>> fore;
        for (int id = 0; id <= 7; ++id)
            fore.append(MarkForeColor(id));
        QCOMPARE(fore, (QList<std::optional<quint32>>{SystemWindowText, 128u, 0u, 8388608u, 0u, 0u, 65535u, std::nullopt}));
        QCOMPARE(MarkBackColor(0), SystemWindow);
        QCOMPARE(MarkForeColor(-1), std::nullopt);
        QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(2000000000, '大', 1, 2)"_s));
        QVERIFY(LoadMarkMenu(*f.db));
        QCOMPARE(MarkForeColor(2000000000), 1u);
        // An unreadable table leaves no items and the system slot.
        QVERIFY(f.db->Execute(u"DROP TABLE Mark"_s));
        QVERIFY(!LoadMarkMenu(*f.db));
        QVERIFY(MarkMenu.isEmpty());
        QCOMPARE(MarkUpperBound(), 0);
    }

    void setMark()
    {
        MessageListsFixture f;
        QVERIFY(LoadMarkMenu(*f.db));
        f.add(0, message(10));
        f.add(0, message(1234567, 3)); // filled with its mark: coloured, nothing written
        f.lists.AddMessageItem(1, message(10));
        QCOMPARE(f.lists.lsvMsgList(0).ForeColor(1), 8388608u);
        QVERIFY(f.takeUpdates().isEmpty());
        QVERIFY(SetMark(f.lists, u"#003000010"_s, 2));
        QCOMPARE(f.takeUpdates(), QStringList{u"Mark"_s});
        QCOMPARE(f.stored(Board, 10, u"Mark"_s).toInt(), 2);
        for (const MessageListModel *list : {&f.lists.lsvMsgList(0), &f.lists.lsvMsgList(1)})
            QCOMPARE(list->CellText(0, MessageListModel::ColMark), u"2"_s);
        QVERIFY(SetMark(f.lists, CMessage::MakeKey(Board, 1234567), 0)); // release
        QCOMPARE(f.stored(Board, 1234567, u"Mark"_s).toInt(), 0);
        QCOMPARE(f.lists.lsvMsgList(0).ForeColor(1), SystemWindowText);
        // A mark without a colour slot is stored; its rows look unmarked.
        QVERIFY(SetMark(f.lists, u"#003000010"_s, 9));
        QCOMPARE(f.stored(Board, 10, u"Mark"_s).toInt(), 9);
        QCOMPARE(f.lists.lsvMsgList(1).Mark(0), 9);
        QCOMPARE(f.lists.lsvMsgList(1).ForeColor(0), SystemWindowText);
        QVERIFY(!SetMark(f.lists, u"#3000010"_s, 1));
        // The selected rows of the current list, in one transaction; list 0 follows.
        for (int id = 1; id <= 3; ++id)
            f.add(1, message(id));
        f.lists.AddMessageItem(0, message(3));
        f.lists.SetCurrentList(1);
        f.select(1, {3, 1});
        f.takeUpdates();
        QVERIFY(SetSelectedMark(f.lists, 4));
        QCOMPARE(f.takeUpdates().size(), 2);
        QCOMPARE(f.lists.lsvMsgList(0).Mark(2), 4);
        QCOMPARE(f.stored(Board, 3, u"Mark"_s).toInt(), 4);
        QCOMPARE(f.stored(Board, 2, u"Mark"_s).toInt(), 0);
        // A refused statement leaves the rows as they were.
        QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Mark ON Message "
                              u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        QVERIFY(!SetSelectedMark(f.lists, 1));
        QCOMPARE(f.lists.lsvMsgList(1).Mark(1), 4);
        QVERIFY(!f.db->InTransaction());
    }

    void getSelectedMark()
    {
        // Marks of the selected rows and the mark offered. An unselected row of mark 1 comes first;
        // the selection is made back to front.
        const QList<std::pair<QList<int>, int>> cases{{{}, 0}, {{0, 2}, 2}, {{2, 0}, 0}, {{2, 2, 2}, 2}, {{0, 2, 3}, 0}};
        for (const auto &[marks, expected] : cases) {
            MessageLists lists;
            lists.AddMessageItem(0, message(100, 1));
            for (int i = 0; i < marks.size(); ++i)
                lists.AddMessageItem(0, message(i + 1, marks.at(i)));
            for (int row = marks.size(); row >= 1; --row)
                lists.lsvMsgList(0).selectionModel()->select(lists.lsvMsgList(0).index(row, 0), QItemSelectionModel::Select);
            QCOMPARE(GetSelectedMark(lists), expected);
            lists.SetCurrentList(1);
            QCOMPARE(GetSelectedMark(lists), 0);
        }
    }
};

QTEST_MAIN(TestMdlMark)
#include "tst_mdlmark.moc"
