#include "app/VbDateFormat.h"
#include "models/MessageListModel.h"

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
    std::tie(m.BBS_ID, m.ID, m.InReplyTo) = std::tuple(bbsId, id, inReplyTo);
    m.Subject = subject.isEmpty() ? u"題名%1"_s.arg(id) : subject;
    return m;
}

/** A model watched by QAbstractItemModelTester for the whole test. */
struct Fixture
{
    MessageListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    /** The keys of all rows without the "#" and the leading zeros of the board. */
    QString keys() const
    {
        QStringList list;
        for (int row = 0; row < model.rowCount(); ++row)
            list.append(model.Key(row).mid(model.Key(row).startsWith(u"#00") ? 3 : 1));
        return list.join(u' ');
    }
    QVariant cell(int row, int column, int role = Qt::DisplayRole) const { return model.data(model.index(row, column), role); }
};

} // namespace

class TestMessageListModel : public QObject
{
    Q_OBJECT

private slots:
    void cellsAndAttributes()
    {
        Fixture f;
        f.model.SetDateFormat(u"yyyy/mm/dd hh:nn"_s);
        CMessage m = message(1, 123, 45, u"件名"_s);
        std::tie(m.HomePage, m.Mail, m.PostName, m.Body) = std::tuple(u"http://h.jp/"_s, u"a@b.jp"_s, u"投稿者A"_s, u"一行目\r\n二行目"_s);
        std::tie(m.RootThread, m.Mark) = std::pair(7, 3);
        m.PostDate = CMessage::WallClock(QDate(2024, 3, 31), QTime(23, 59, 58));
        QCOMPARE(f.model.AddRow(m), 0);
        QStringList cells;
        for (int c = 0; c < MessageListModel::ColumnCount; ++c)
            cells.append(f.cell(0, c, MessageListModel::CellTextRole).toString());
        QCOMPARE(cells, (QStringList{QString(), u"000123"_s, u"件名"_s, u"http://h.jp/"_s, u"a@b.jp"_s, u"投稿者A"_s,
                                     u"2024/03/31 23:59"_s, u"#001000045"_s, u"一行目\r\n二行目"_s, u"000007"_s, u"3"_s,
                                     u"1"_s})); // a board without a name in the board list shows its number
        QCOMPARE(f.cell(0, MessageListModel::ColBody).toString(), u"一行目  二行目"_s); // shown on one line
        // The board image shows in the first column once known; mark colours (0x00BBGGRR) in the others.
        f.model.SetBoardIcons({{u"#1"_s, QIcon(QPixmap(16, 16))}});
        QVERIFY(!f.cell(0, 0, Qt::DecorationRole).value<QIcon>().isNull());
        f.model.SetMark(0, 1, 128);
        QCOMPARE(f.cell(0, 10, Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
        // Numbers beyond six digits, another date format, a long body.
        CMessage big = message(1, 1234567, 1000000);
        big.Body = QString(500, u'あ');
        QCOMPARE(f.model.AddRow(big), 1);
        QCOMPARE(f.model.CellText(1, MessageListModel::ColID), u"1234567"_s);
        QCOMPARE(f.model.CellText(1, MessageListModel::ColInReplyTo), u"#0011000000"_s);
        // A message that replies to nothing shows a blank レス元 and keeps the key for lookups.
        QCOMPARE(f.model.AddRow(message(1, 124)), 2);
        QCOMPARE(f.cell(2, MessageListModel::ColInReplyTo).toString(), QString());
        QCOMPARE(f.model.CellText(2, MessageListModel::ColInReplyTo), u"#001000000"_s);
        QCOMPARE(f.cell(1, MessageListModel::ColBody).toString().size(), MessageListModel::BodyPreviewLength);
        QCOMPARE(f.model.CellText(1, MessageListModel::ColBody), big.Body);
        f.model.SetDateFormat(u"m/d h:nn"_s);
        QCOMPARE(f.model.CellText(0, MessageListModel::ColDate), u"3/31 23:59"_s);
        QCOMPARE(f.model.CellText(1, MessageListModel::ColDate), QString()); // no date
    }

    void readMarkAndCounter()
    {
        Fixture f;
        f.model.AddRow(message(1, 1));
        QCOMPARE(f.model.AddRow(message(1, 2)), 1);
        QVERIFY(f.model.ReadText(0).isEmpty());
        // row, read -> counter change, text; a fresh row counts as not unread.
        const QList<std::tuple<int, bool, int, QString>> steps{
            {0, true, 0, u" "_s}, {1, false, 1, u"*"_s}, {1, false, 0, u"*"_s},
            {0, true, 0, u" "_s}, {1, true, -1, u" "_s}, {0, false, 1, u"*"_s}};
        for (const auto &[row, read, delta, text] : steps) {
            QCOMPARE(f.model.SetReadMark(row, read), delta);
            QCOMPARE(f.model.ReadText(row), text);
            QCOMPARE(f.model.Message(row).Read, read);
            for (int c = 0; c < MessageListModel::ColumnCount; ++c)
                QCOMPARE(f.cell(row, c, Qt::FontRole).value<QFont>().bold(), !read);
        }
        QCOMPARE(f.model.UnreadCount(), 1);
        QVERIFY(f.model.removeRows(0, 1)); // row 0 is unread
        QCOMPARE(f.model.UnreadCount(), 0);
    }

    void keysAndRemoval()
    {
        Fixture f;
        QCOMPARE(f.model.AddRow(message(1, 5)), 0);
        QCOMPARE(f.model.AddRow(message(1, 5)), -1); // listed already
        // Added together: listed and repeated keys are skipped.
        const QList<CMessage> added = f.model.AddRows(
            {message(1, 1234567), message(1, 5), message(2, 5), message(1000, 5), message(2, 5), message(0, 0)});
        QCOMPARE(added.size(), 4);
        QCOMPARE(f.keys(), u"1000005 11234567 2000005 1000:000005 0000000"_s);
        QCOMPARE(f.model.RowOfKey(u"#1000:000005"), 3);
        QCOMPARE(f.model.RowOfKey(u"#1000005"), -1);
        QVERIFY(f.model.removeRows(1, 2));
        QCOMPARE(f.keys(), u"1000005 1000:000005 0000000"_s);
        QCOMPARE(f.model.RowOf(0, 0), 2);
        // Many rows at once: adjacent and scattered ones, unknown and repeated keys.
        f.model.Clear();
        for (int id = 1; id <= 10; ++id)
            f.model.SetReadMark(f.model.AddRow(message(1, id)), id % 2 == 0);
        f.model.SelectRow(4);
        QCOMPARE(f.model.RemoveKeys({u"#001000002"_s, u"#001000003"_s, u"#001000009"_s, u"#001000006"_s, u"#001000003"_s, u"#001000077"_s, u"#001000010"_s}), 5);
        QCOMPARE(f.keys(), u"1000001 1000004 1000005 1000007 1000008"_s);
        QCOMPARE(f.model.UnreadCount(), 3);
        QCOMPARE(f.model.RowOfKey(u"#001000008"), 4);
        QCOMPARE(f.model.CurrentRow(), 2);
    }

    void selectionAndSorting()
    {
        Fixture f;
        const QStringList subjects{u"beta"_s, u"Alpha"_s, u"alpha"_s, u"Gamma"_s, u"ALPHA"_s};
        for (int i = 0; i < subjects.size(); ++i)
            f.model.AddRow(message(1, i + 1, 0, subjects.at(i)));
        QItemSelectionModel *selection = f.model.selectionModel();
        // Selected rows come in list order; without a current row the first selected one serves.
        selection->select(f.model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(QItemSelection(f.model.index(1, 0), f.model.index(2, 10)), QItemSelectionModel::Select);
        selection->select(f.model.index(2, 3), QItemSelectionModel::Select);
        QCOMPARE(f.model.SelectedRows(), (QList<int>{1, 2, 4}));
        QCOMPARE(f.model.CurrentRow(), 1);
        // Sorting ignores case, keeps equal texts in order, and takes the selection along.
        f.model.SelectRow(3);
        selection->select(f.model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.model.sort(MessageListModel::ColSubject, Qt::AscendingOrder);
        QCOMPARE(f.keys(), u"1000002 1000003 1000005 1000001 1000004"_s);
        QCOMPARE(f.model.CurrentRow(), 4);
        QCOMPARE(f.model.SelectedRows(), (QList<int>{3, 4}));
        f.model.sort(MessageListModel::ColSubject, Qt::DescendingOrder); // equal texts keep their order
        QCOMPARE(f.model.RowOfKey(u"#001000005"), 4);
    }

    void threadOrder()
    {
        Fixture f;
        // id -> replied id, newest first as a board page lists them; 6 replies to the later 7
        // and 5 to a message not listed, so both are roots.
        for (const auto &[id, parent] : QList<std::pair<int, int>>{{8, 7}, {7, 0}, {6, 7}, {5, 99}, {4, 2}, {3, 1}, {2, 1}, {1, 0}})
            f.model.AddRow(message(1, id, parent));
        f.model.AddRow(message(2, 3, 1)); // replies to board 2's message 1, not listed
        f.model.SelectRow(f.model.RowOfKey(u"#001000004"));
        f.model.ShowThread();
        QCOMPARE(f.keys(), u"1000001 1000003 1000002 1000004 2000003 1000005 1000006 1000007 1000008"_s);
        QCOMPARE(f.model.CellText(3, MessageListModel::ColSubject), u"\u3000\u3000題名4"_s); // indented by depth
        QCOMPARE(f.model.CurrentRow(), 3);
        QCOMPARE(f.model.RowOfKey(u"#001000008"), 8);
    }

    void dateFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QTime>("time"); // on 2024-02-05, a Monday
        QTest::addColumn<QString>("text");
        const QTime afternoon(13, 7, 9);
        QTest::newRow("mm after an hour: minutes") << u"hh:mm"_s << afternoon << u"13:07"_s;
        QTest::newRow("mm before seconds: minutes") << u"mm:ss"_s << afternoon << u"07:09"_s;
        QTest::newRow("names") << u"mmmm d日(aaa)"_s << afternoon << u"2月 5日(月)"_s;
        QTest::newRow("literals") << u"yy\"年\"m\\m/d h:n:s"_s << afternoon << u"24年2m/5 13:7:9"_s;
        QTest::newRow("empty: general date") << QString() << afternoon << u"2024/02/05 13:07:09"_s;
        QTest::newRow("24 hours at 0") << u"h:nn"_s << QTime(0, 15) << u"0:15"_s;
        QTest::newRow("AM/PM at 0") << u"h:nn AM/PM"_s << QTime(0, 15) << u"12:15 AM"_s;
        QTest::newRow("AM/PM at 11") << u"h:nn AM/PM"_s << QTime(11, 59) << u"11:59 AM"_s;
        QTest::newRow("AM/PM at 12") << u"h:nn AM/PM"_s << QTime(12, 30) << u"12:30 PM"_s;
        QTest::newRow("AM/PM at 13") << u"h:nn AM/PM"_s << afternoon << u"1:07 PM"_s;
        QTest::newRow("am/pm at 23") << u"hh:nn am/pm"_s << QTime(23, 45) << u"11:45 pm"_s;
        QTest::newRow("a/p at 12") << u"hh:nn a/p"_s << QTime(12, 0) << u"12:00 p"_s;
        QTest::newRow("A/P at 0") << u"hh:nn A/P"_s << QTime(0, 5) << u"12:05 A"_s;
        QTest::newRow("AMPM at 0") << u"AMPM h:nn"_s << QTime(0, 5) << u"午前 12:05"_s;
    }

    void dateFormats()
    {
        QFETCH(QString, format);
        QFETCH(QTime, time);
        QTEST(VbDateFormat(format).Format(CMessage::WallClock(QDate(2024, 2, 5), time)), "text");
    }
};

QTEST_MAIN(TestMessageListModel)
#include "tst_messagelistmodel.moc"
