#include "app/VbDateFormat.h"
#include "viewer/models/MessageListModel.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

CMessage message(int bbsId, int id, int inReplyTo = 0, const QString &subject = {})
{
    CMessage m;
    m.BBS_ID = bbsId;
    m.ID = id;
    m.InReplyTo = inReplyTo;
    m.Subject = subject.isEmpty() ? u"題名%1"_s.arg(id) : subject;
    m.PostName = u"名前"_s;
    m.Body = u"本文"_s;
    m.PostDate = CMessage::WallClock(QDate(2024, 1, 2), QTime(3, 4, 5));
    return m;
}

/** A model watched by QAbstractItemModelTester for the whole test. */
struct Fixture
{
    MessageListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    QStringList keys() const
    {
        QStringList list;
        for (int row = 0; row < model.rowCount(); ++row)
            list.append(model.Key(row));
        return list;
    }
    QVariant cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return model.data(model.index(row, column), role);
    }
};

} // namespace

class TestMessageListModel : public QObject
{
    Q_OBJECT

private slots:
    void columns();
    void cellsAndAttributes();
    void readMarkAndCounter();
    void markColour();
    void keysAndRemoval();
    void selection();
    void sortByCellText();
    void threadOrder();
    void dateFormats_data();
    void dateFormats();
};

void TestMessageListModel::columns()
{
    Fixture f;
    const QStringList keys{u"Read"_s, u"ID"_s, u"Subject"_s, u"HomePage"_s, u"Mail"_s, u"Name"_s,
                           u"Date"_s, u"InReplyTo"_s, u"Body"_s, u"ParentThread"_s, u"Mark"_s};
    const QStringList headers{QString(), u"番号"_s, u"題名"_s, u"ホームページ"_s, u"メール"_s, u"投稿者"_s,
                              u"投稿日"_s, u"レス元"_s, u"内容"_s, u"先頭スレッド"_s, u"マーク"_s};
    QCOMPARE(f.model.columnCount(), 11);
    for (int c = 0; c < 11; ++c) {
        QCOMPARE(f.model.headerData(c, Qt::Horizontal, MessageListModel::ColumnKeyRole).toString(), keys.at(c));
        QCOMPARE(f.model.headerData(c, Qt::Horizontal).toString(), headers.at(c));
    }
    // A sort mark changes the header text only.
    QVERIFY(f.model.setHeaderData(2, Qt::Horizontal, u"題名 △"_s));
    QCOMPARE(f.model.headerData(2, Qt::Horizontal).toString(), u"題名 △"_s);
    QCOMPARE(f.model.headerData(2, Qt::Horizontal, MessageListModel::ColumnKeyRole).toString(), u"Subject"_s);
    QVERIFY(!f.model.setHeaderData(11, Qt::Horizontal, u"x"_s));
}

void TestMessageListModel::cellsAndAttributes()
{
    Fixture f;
    f.model.SetDateFormat(u"yyyy/mm/dd hh:nn"_s);
    CMessage m = message(1, 123, 45, u"件名"_s);
    m.HomePage = u"http://example.jp/"_s;
    m.Mail = u"a@example.jp"_s;
    m.PostName = u"投稿者A"_s;
    m.PostDate = CMessage::WallClock(QDate(2024, 3, 31), QTime(23, 59, 58)); // a UTC-held wall clock
    m.Body = u"一行目\r\n二行目"_s;
    m.RootThread = 7;
    m.Mark = 3;
    QCOMPARE(f.model.AddRow(m), 0);
    const QStringList expected{QString(), u"000123"_s, u"件名"_s, u"http://example.jp/"_s, u"a@example.jp"_s,
                               u"投稿者A"_s, u"2024/03/31 23:59"_s, u"#001000045"_s, u"一行目\r\n二行目"_s,
                               u"000007"_s, u"3"_s};
    for (int c = 0; c < 11; ++c)
        QCOMPARE(f.cell(0, c, MessageListModel::CellTextRole).toString(), expected.at(c));
    QCOMPARE(f.cell(0, MessageListModel::ColBody).toString(), u"一行目  二行目"_s);
    QCOMPARE(f.cell(0, MessageListModel::ColSubject, Qt::ToolTipRole).toString(), u"件名"_s);
    QCOMPARE(f.cell(0, MessageListModel::ColName, Qt::ToolTipRole).toString(), u"投稿者A"_s);
    QVERIFY(!f.cell(0, MessageListModel::ColBody, Qt::ToolTipRole).isValid());
    QCOMPARE(f.cell(0, 5, MessageListModel::KeyRole).toString(), u"#001000123"_s);
    QCOMPARE(f.cell(0, 5, MessageListModel::BoardIconKeyRole).toString(), u"#1"_s);

    // The board image appears in the first column once the images are known.
    QVERIFY(!f.cell(0, 0, Qt::DecorationRole).isValid());
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    f.model.SetBoardIcons({{u"#1"_s, QIcon(pixmap)}});
    QVERIFY(f.cell(0, 0, Qt::DecorationRole).value<QIcon>().isNull() == false);
    QVERIFY(!f.cell(0, 1, Qt::DecorationRole).isValid());

    // Numbers above six digits and a changed date format.
    QCOMPARE(f.model.AddRow(message(1, 1234567, 1000000)), 1);
    QCOMPARE(f.model.CellText(1, MessageListModel::ColID), u"1234567"_s);
    QCOMPARE(f.model.CellText(1, MessageListModel::ColInReplyTo), u"#0011000000"_s);
    f.model.SetDateFormat(u"m/d h:nn"_s);
    QCOMPARE(f.model.CellText(0, MessageListModel::ColDate), u"3/31 23:59"_s);
    const QString longBody = QString(500, u'あ');
    CMessage big = message(2, 1);
    big.Body = longBody;
    f.model.AddRow(big);
    QCOMPARE(f.cell(2, MessageListModel::ColBody).toString().size(), MessageListModel::BodyPreviewLength);
    QCOMPARE(f.cell(2, MessageListModel::ColBody, MessageListModel::CellTextRole).toString(), longBody);
}

void TestMessageListModel::readMarkAndCounter()
{
    Fixture f;
    for (int id = 1; id <= 3; ++id)
        f.model.AddRow(message(1, id));
    QCOMPARE(f.model.ReadText(0), QString());
    QVERIFY(!f.cell(0, 0, Qt::FontRole).isValid());
    // A fresh row counts as not unread: read gives 0, unread +1.
    QCOMPARE(f.model.SetReadMark(0, true), 0);
    QCOMPARE(f.model.SetReadMark(1, false), 1);
    QCOMPARE(f.model.SetReadMark(2, false), 1);
    QCOMPARE(f.model.UnreadCount(), 2);
    QCOMPARE(f.model.ReadText(0), u" "_s);
    QCOMPARE(f.model.ReadText(1), u"*"_s);
    for (int c = 0; c < 11; ++c)
        QVERIFY(f.cell(1, c, Qt::FontRole).value<QFont>().bold());
    QVERIFY(!f.cell(0, 3, Qt::FontRole).isValid());
    // Repeating a state changes nothing; each real change moves the counter by one.
    QCOMPARE(f.model.SetReadMark(1, false), 0);
    QCOMPARE(f.model.SetReadMark(0, true), 0);
    QCOMPARE(f.model.SetReadMark(1, true), -1);
    QCOMPARE(f.model.SetReadMark(0, false), 1);
    QCOMPARE(f.model.UnreadCount(), 2);
    QVERIFY(f.model.Message(1).Read && !f.model.Message(0).Read);
    // Removing an unread row keeps the counter equal to the unread rows.
    QVERIFY(f.model.removeRows(0, 1));
    QCOMPARE(f.model.UnreadCount(), 1);
    f.model.ClearUnreadCount();
    QCOMPARE(f.model.UnreadCount(), 0);
    f.model.SetReadMark(0, false);
    f.model.Clear();
    QCOMPARE(f.model.rowCount(), 0);
    QCOMPARE(f.model.UnreadCount(), 0);
}

void TestMessageListModel::markColour()
{
    Fixture f;
    f.model.AddRow(message(1, 1));
    QVERIFY(!f.cell(0, 4, Qt::ForegroundRole).isValid());
    f.model.SetMark(0, 1, 128); // OLE colours are 0x00BBGGRR
    QCOMPARE(f.model.CellText(0, MessageListModel::ColMark), u"1"_s);
    QCOMPARE(f.model.Mark(0), 1);
    for (int c = 1; c < 11; ++c)
        QCOMPARE(f.cell(0, c, Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
    QVERIFY(!f.cell(0, 0, Qt::ForegroundRole).isValid());
    f.model.SetMark(0, 3, 8388608);
    QCOMPARE(f.cell(0, 2, Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 128));
    // The system text colour leaves the view's own colour.
    f.model.SetMark(0, 0, MessageListModel::SystemWindowText);
    QCOMPARE(f.model.CellText(0, MessageListModel::ColMark), u"0"_s);
    QVERIFY(!f.cell(0, 2, Qt::ForegroundRole).isValid());
}

void TestMessageListModel::keysAndRemoval()
{
    Fixture f;
    const QList<std::pair<int, int>> ids{{1, 5}, {1, 1234567}, {2, 5}, {1000, 5}, {0, 0}};
    for (const auto &[board, id] : ids)
        QVERIFY(f.model.AddRow(message(board, id)) >= 0);
    QCOMPARE(f.model.AddRow(message(1, 5)), -1); // the key is listed already
    QCOMPARE(f.model.rowCount(), 5);
    QCOMPARE(f.model.RowOfKey(u"#001000005"), 0);
    QCOMPARE(f.model.RowOfKey(u"#0011234567"), 1);
    QCOMPARE(f.model.RowOfKey(u"#002000005"), 2);
    QCOMPARE(f.model.RowOfKey(u"#1000:000005"), 3);
    QCOMPARE(f.model.RowOfKey(u"#000000000"), 4);
    for (const QString &bad : {u"#001"_s, u"001000005"_s, u"#1000005"_s, u"#001000005 "_s, u"#003000005"_s, QString()})
        QCOMPARE(f.model.RowOfKey(bad), -1);

    QVERIFY(f.model.removeRows(1, 2));
    QCOMPARE(f.keys(), (QStringList{u"#001000005"_s, u"#1000:000005"_s, u"#000000000"_s}));
    QCOMPARE(f.model.RowOfKey(u"#0011234567"), -1);
    QCOMPARE(f.model.RowOfKey(u"#000000000"), 2);
    QVERIFY(f.model.RemoveRow(u"#001000005"));
    QVERIFY(!f.model.RemoveRow(u"#001000005"));
    QCOMPARE(f.model.RowOf(1000, 5), 0);
    QVERIFY(!f.model.removeRows(1, 5));

    // Many rows at once: adjacent and scattered ones, unknown and repeated keys.
    f.model.Clear();
    for (int id = 1; id <= 10; ++id) {
        f.model.AddRow(message(1, id));
        f.model.SetReadMark(id - 1, id % 2 == 0);
    }
    f.model.SelectRow(4);
    const QStringList gone{u"#001000002"_s, u"#001000003"_s, u"#001000009"_s, u"#001000006"_s,
                           u"#001000003"_s, u"#001000077"_s, u"#001000010"_s};
    QCOMPARE(f.model.RemoveKeys(gone), 5);
    QCOMPARE(f.keys(), (QStringList{u"#001000001"_s, u"#001000004"_s, u"#001000005"_s, u"#001000007"_s,
                                    u"#001000008"_s}));
    QCOMPARE(f.model.UnreadCount(), 3);
    QCOMPARE(f.model.RowOfKey(u"#001000008"), 4);
    QCOMPARE(f.model.Key(f.model.CurrentRow()), u"#001000005"_s);
    QCOMPARE(f.model.AddRow(message(1, 8)), -1);
    QCOMPARE(f.model.AddRow(message(1, 9)), 5);
}

void TestMessageListModel::selection()
{
    Fixture f;
    for (int id = 1; id <= 6; ++id)
        f.model.AddRow(message(1, id, 0, QString(QChar(u'a' + 6 - id))));
    QItemSelectionModel *selection = f.model.selectionModel();
    QCOMPARE(f.model.CurrentRow(), -1);
    QVERIFY(f.model.SelectedRows().isEmpty());

    // Selected rows come in list order whatever order they were selected in.
    selection->select(f.model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(QItemSelection(f.model.index(1, 0), f.model.index(2, 10)), QItemSelectionModel::Select);
    selection->select(f.model.index(2, 3), QItemSelectionModel::Select);
    QCOMPARE(f.model.SelectedRows(), (QList<int>{1, 2, 4}));
    QCOMPARE(f.model.CurrentRow(), 1); // no current row: the first selected one

    f.model.SelectRow(3);
    QCOMPARE(f.model.SelectedRows(), QList<int>{3});
    QCOMPARE(f.model.CurrentRow(), 3);
    // Sorting moves the selection and the current row with their messages.
    selection->select(f.model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    f.model.sort(MessageListModel::ColSubject);
    QCOMPARE(f.model.Key(f.model.CurrentRow()), u"#001000004"_s);
    QCOMPARE(f.model.SelectedRows(), (QList<int>{2, 5}));
    QCOMPARE(f.model.Key(5), u"#001000001"_s);

    f.model.SelectRow(-1);
    QCOMPARE(f.model.CurrentRow(), -1);
    f.model.SelectRow(2);
    f.model.Clear();
    QCOMPARE(f.model.CurrentRow(), -1);
    QVERIFY(f.model.SelectedRows().isEmpty());
}

void TestMessageListModel::sortByCellText()
{
    Fixture f;
    const QStringList subjects{u"beta"_s, u"Alpha"_s, u"alpha"_s, u"Gamma"_s, u"ALPHA"_s};
    for (int i = 0; i < subjects.size(); ++i)
        f.model.AddRow(message(1, i + 1, 0, subjects.at(i)));
    f.model.sort(MessageListModel::ColSubject, Qt::AscendingOrder);
    QCOMPARE(f.keys(), (QStringList{u"#001000002"_s, u"#001000003"_s, u"#001000005"_s, u"#001000001"_s, u"#001000004"_s}));
    f.model.sort(MessageListModel::ColSubject, Qt::DescendingOrder);
    QCOMPARE(f.keys(), (QStringList{u"#001000004"_s, u"#001000001"_s, u"#001000002"_s, u"#001000003"_s, u"#001000005"_s}));
    QCOMPARE(f.model.RowOfKey(u"#001000004"), 0);
    f.model.sort(MessageListModel::ColID, Qt::AscendingOrder);
    QCOMPARE(f.model.Key(0), u"#001000001"_s);
}

void TestMessageListModel::threadOrder()
{
    Fixture f;
    // id -> replied id, newest first as a board page lists them; 6 replies to the later 7
    // and 5 to a message not listed, so both are roots.
    const QList<std::pair<int, int>> rows{{8, 7}, {7, 0}, {6, 7}, {5, 99}, {4, 2}, {3, 1}, {2, 1}, {1, 0}};
    for (const auto &[id, parent] : rows)
        f.model.AddRow(message(1, id, parent));
    f.model.AddRow(message(2, 3, 1)); // another board's message 3 replies to board 2's 1, not listed
    f.model.SelectRow(f.model.RowOfKey(u"#001000004"));
    f.model.ShowThread();
    QCOMPARE(f.keys(), (QStringList{u"#001000001"_s, u"#001000003"_s, u"#001000002"_s, u"#001000004"_s,
                                    u"#002000003"_s, u"#001000005"_s, u"#001000006"_s, u"#001000007"_s,
                                    u"#001000008"_s}));
    const QList<int> indents{0, 1, 1, 2, 0, 0, 0, 0, 1};
    for (int row = 0; row < indents.size(); ++row)
        QCOMPARE(f.model.Indent(row), indents.at(row));
    QCOMPARE(f.model.CellText(3, MessageListModel::ColSubject), u"\u3000\u3000題名4"_s);
    QCOMPARE(f.cell(3, MessageListModel::ColSubject, Qt::ToolTipRole).toString(), u"題名4"_s);
    QCOMPARE(f.model.Key(f.model.CurrentRow()), u"#001000004"_s);
    QCOMPARE(f.model.RowOfKey(u"#001000008"), 8);

    f.model.ClearIndents();
    QCOMPARE(f.model.CellText(3, MessageListModel::ColSubject), u"題名4"_s);
    f.model.Clear();
    f.model.ShowThread(); // an empty list stays empty
    QCOMPARE(f.model.rowCount(), 0);
}

void TestMessageListModel::dateFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    // 2024-02-05 (a Monday) 13:07:09
    QTest::newRow("default") << u"yyyy/mm/dd hh:nn"_s << u"2024/02/05 13:07"_s;
    QTest::newRow("capitals") << u"YYYY/MM/DD HH:NN"_s << u"2024/02/05 13:07"_s;
    QTest::newRow("mm after hh is minutes") << u"hh:mm"_s << u"13:07"_s;
    QTest::newRow("mm before ss is minutes") << u"mm:ss"_s << u"07:09"_s;
    QTest::newRow("mm elsewhere is the month") << u"mm/dd"_s << u"02/05"_s;
    QTest::newRow("short forms") << u"yy/m/d h:n:s"_s << u"24/2/5 13:7:9"_s;
    QTest::newRow("12-hour") << u"h:nn AM/PM"_s << u"1:07 PM"_s;
    QTest::newRow("12-hour lower") << u"hh a/p"_s << u"01 p"_s;
    QTest::newRow("weekday") << u"m/d(aaa)"_s << u"2/5(月)"_s;
    QTest::newRow("month name") << u"mmmm d日"_s << u"2月 5日"_s;
    QTest::newRow("literals") << u"yyyy\"年\"m\\m"_s << u"2024年2m"_s;
    QTest::newRow("quarter and day of year") << u"q y"_s << u"1 36"_s;
    QTest::newRow("empty is the general date") << QString() << u"2024/02/05 13:07:09"_s;
}

void TestMessageListModel::dateFormats()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    const QDateTime dt = CMessage::WallClock(QDate(2024, 2, 5), QTime(13, 7, 9));
    QCOMPARE(VbDateFormat(format).Format(dt), expected);
    QCOMPARE(VbDateFormat(format).Format(QDateTime()), QString());
}

QTEST_MAIN(TestMessageListModel)
#include "tst_messagelistmodel.moc"
