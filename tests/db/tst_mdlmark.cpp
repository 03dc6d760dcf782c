#include "MessageListsFixture.h"

#include "db/mdlMark.h"

#include <QColor>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace mdlMark;

namespace {

constexpr int Board = 3;

} // namespace

class TestMdlMark : public QObject
{
    Q_OBJECT

private slots:
    void defaultMarks();
    void gapsZeroAndStrayIds();
    void setMarkInBothLists();
    void setSelectedMark();
    void getSelectedMark_data();
    void getSelectedMark();
};

void TestMdlMark::defaultMarks()
{
    MessageListsFixture f;
    QVERIFY(LoadMarkMenu(*f.db));
    QCOMPARE(MarkMenu, (QList<MarkMenuItem>{{1, u"マーク&1"_s}, {2, u"マーク&2"_s}, {3, u"マーク&3"_s}, {4, u"マーク&4"_s}}));
    QCOMPARE(MarkUpperBound(), 4);
    QCOMPARE(MarkForeColor(0), SystemWindowText);
    QCOMPARE(MarkBackColor(0), SystemWindow);
    QCOMPARE(MarkForeColor(1), 128u);
    QCOMPARE(MarkForeColor(4), 8421504u);
    QCOMPARE(MarkBackColor(2), 0x80000005u);
    QCOMPARE(MarkForeColor(5), std::nullopt);
    QCOMPARE(MarkForeColor(-1), std::nullopt);

    // A failed read leaves no items and only the system slot.
    QVERIFY(f.db->Execute(u"DROP TABLE Mark"_s));
    QVERIFY(!LoadMarkMenu(*f.db));
    QVERIFY(MarkMenu.isEmpty());
    QCOMPARE(MarkUpperBound(), 0);
    QCOMPARE(MarkForeColor(0), SystemWindowText);
}

void TestMdlMark::gapsZeroAndStrayIds()
{
    MessageListsFixture f;
    QVERIFY(f.db->Execute(u"DELETE FROM Mark WHERE ID = 2 OR ID = 4"_s));
    QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(0, 'ゼロ', 255, 255)"_s));
    QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(-3, '負', 255, 255)"_s));
    QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(6, '六', 65535, 0)"_s));
    QVERIFY(LoadMarkMenu(*f.db));
    QCOMPARE(MarkMenu, (QList<MarkMenuItem>{{1, u"マーク&1"_s}, {3, u"マーク&3"_s}, {6, u"六"_s}}));
    QCOMPARE(MarkUpperBound(), 6);
    QCOMPARE(MarkForeColor(0), SystemWindowText);
    QCOMPARE(MarkForeColor(2), 0u);
    QCOMPARE(MarkForeColor(5), 0u);
    QCOMPARE(MarkForeColor(6), 65535u);
    QCOMPARE(MarkBackColor(6), 0u);

    // An enormous ID costs no memory; its slots stay reachable.
    QVERIFY(f.db->Execute(u"INSERT INTO Mark VALUES(2000000000, '大', 1, 2)"_s));
    QVERIFY(LoadMarkMenu(*f.db));
    QCOMPARE(MarkUpperBound(), 2000000000);
    QCOMPARE(MarkForeColor(2000000000), 1u);
    QCOMPARE(MarkForeColor(1999999999), 0u);
    QCOMPARE(MarkMenu.size(), 4);
}

void TestMdlMark::setMarkInBothLists()
{
    MessageListsFixture f;
    QVERIFY(LoadMarkMenu(*f.db));
    f.add(0, MessageListsFixture::message(Board, 10, true));
    f.add(0, MessageListsFixture::message(Board, 1234567, true, 3)); // filled with its mark
    f.lists.AddMessageItem(1, MessageListsFixture::message(Board, 10, true));
    QCOMPARE(f.lists.lsvMsgList(0).ForeColor(1), 8388608u);
    QCOMPARE(f.takeUpdates(), QStringList());

    QVERIFY(SetMark(f.lists, u"#003000010"_s, 2));
    QCOMPARE(f.takeUpdates(), QStringList{u"mark"_s});
    QCOMPARE(f.stored(Board, 10, u"Mark"_s).toInt(), 2);
    for (int index : {0, 1}) {
        const MessageListModel &list = f.lists.lsvMsgList(index);
        QCOMPARE(list.CellText(0, MessageListModel::ColMark), u"2"_s);
        QCOMPARE(list.data(list.index(0, MessageListModel::ColSubject), Qt::ForegroundRole).value<QColor>(),
                 QColor(0, 128, 0));
    }

    QVERIFY(SetMark(f.lists, CMessage::MakeKey(Board, 1234567), 0)); // release
    QCOMPARE(f.stored(Board, 1234567, u"Mark"_s).toInt(), 0);
    QCOMPARE(f.lists.lsvMsgList(0).CellText(1, MessageListModel::ColMark), u"0"_s);
    QCOMPARE(f.lists.lsvMsgList(0).ForeColor(1), SystemWindowText);

    // A mark without a colour slot is stored; its rows look unmarked.
    QVERIFY(SetMark(f.lists, u"#003000010"_s, 9));
    QCOMPARE(f.stored(Board, 10, u"Mark"_s).toInt(), 9);
    QCOMPARE(f.lists.lsvMsgList(1).Mark(0), 9);
    QCOMPARE(f.lists.lsvMsgList(1).ForeColor(0), SystemWindowText);

    QVERIFY(!SetMark(f.lists, u"#3000010"_s, 1));
    QVERIFY(f.db->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE OF Mark ON Message "
                          u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
    QVERIFY(!SetMark(f.lists, u"#003000010"_s, 1));
    QCOMPARE(f.lists.lsvMsgList(0).Mark(0), 9);
}

void TestMdlMark::setSelectedMark()
{
    MessageListsFixture f;
    QVERIFY(LoadMarkMenu(*f.db));
    for (int id = 1; id <= 4; ++id)
        f.add(1, MessageListsFixture::message(Board, id, true));
    f.lists.AddMessageItem(0, MessageListsFixture::message(Board, 3, true));
    f.lists.SetCurrentList(1);
    f.select(1, {3, 2, 0});
    f.takeUpdates();
    QVERIFY(SetSelectedMark(f.lists, 4));
    QCOMPARE(f.takeUpdates().size(), 3);
    QCOMPARE(f.lists.lsvMsgList(0).Mark(0), 4);
    QCOMPARE(f.lists.lsvMsgList(1).Mark(1), 0);
    QCOMPARE(f.stored(Board, 2, u"Mark"_s).toInt(), 0);
    QCOMPARE(f.stored(Board, 4, u"Mark"_s).toInt(), 4);
    QCOMPARE(GetSelectedMark(f.lists), 4);
    QVERIFY(!f.db->InTransaction());
}

void TestMdlMark::getSelectedMark_data()
{
    QTest::addColumn<QList<int>>("marks");
    QTest::addColumn<int>("expected");
    QTest::newRow("no selection") << QList<int>{} << 0;
    QTest::newRow("one") << QList<int>{3} << 3;
    QTest::newRow("unmarked first") << QList<int>{0, 2} << 2;
    QTest::newRow("unmarked last") << QList<int>{2, 0} << 0;
    QTest::newRow("same") << QList<int>{2, 2, 2} << 2;
    QTest::newRow("differ") << QList<int>{0, 2, 3} << 0;
    QTest::newRow("none marked") << QList<int>{0, 0} << 0;
}

void TestMdlMark::getSelectedMark()
{
    QFETCH(QList<int>, marks);
    QFETCH(int, expected);
    MessageListsFixture f;
    QVERIFY(LoadMarkMenu(*f.db));
    // An unselected row of another mark in front; the selection is made back to front.
    f.lists.AddMessageItem(0, MessageListsFixture::message(Board, 100, true, 1));
    QList<int> rows;
    for (int i = 0; i < marks.size(); ++i) {
        f.lists.AddMessageItem(0, MessageListsFixture::message(Board, i + 1, true, marks.at(i)));
        rows.prepend(i + 1);
    }
    f.select(0, rows);
    QCOMPARE(GetSelectedMark(f.lists), expected);
    f.lists.SetCurrentList(1);
    QCOMPARE(GetSelectedMark(f.lists), 0);
}

QTEST_MAIN(TestMdlMark)
#include "tst_mdlmark.moc"
