#include "../transfer/CBBSFixture.h"

#include "cookies/CookieStore.h"
#include "db/MessageRepository.h"
#include "db/NgRuleRepository.h"
#include "models/MessageLists.h"
#include "support/BoardSimulator.h"
#include "support/TestFiles.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 30;

/** Sample messages 1 to 30; every third one is posted by "荒らし". */
QList<BoardMessage> boardMessages()
{
    QList<BoardMessage> messages;
    for (int number = Messages; number >= 1; --number) {
        messages << LogFormat::sampleMessage(number);
        if (number % 3 == 0)
            messages.last().name = u"荒らし"_s;
    }
    return messages;
}

NgRule posterRule(NgAction action)
{
    NgRule rule;
    rule.Field = NgField::Poster;
    rule.Pattern = u"荒らし"_s;
    rule.Action = action;
    return rule;
}

CMessage message(int id, const QString &name)
{
    CMessage msg;
    msg.BBS_ID = CBBSFixture::SingleBoard;
    msg.ID = id;
    msg.PostName = name;
    msg.Subject = u"題名"_s;
    msg.Body = u"本文"_s;
    return msg;
}

} // namespace

// A log database with a board simulator serving board 4, and the window's two lists.
struct NgFixture : CBBSFixture
{
    CookieStore store{dir.filePath(u"cookies.txt"_s)};
    BoardSimulator sim;

    NgFixture()
    {
        setCookieStore(&store);
        QVERIFY(sim.listen());
        const int board = sim.addBoard(0, u"/cgi-bin/single.cgi"_s);
        sim.addMessages(board, boardMessages());
        QVERIFY(db->Execute(u"UPDATE BBS SET URL = '%1' WHERE BBS_ID = %2"_s.arg(sim.url(board)).arg(SingleBoard)));
    }
    ~NgFixture() { setCookieStore(nullptr); }

    bool receive()
    {
        QSignalSpy finished(&bbs, &CBBS::LoadFinished);
        return bbs.LoadBBS(SingleBoard, false, false) && finished.wait(60000) && finished.first().first().toBool();
    }
    bool importLog()
    {
        const QString file = dir.filePath(u"log.txt"_s);
        writeFile(file, LogFormat::toCp932(LogFormat::log(0, boardMessages())));
        return import(SingleBoard, file);
    }
    /** Fills list 0 with the board's stored messages, as the window fills a page. */
    int fill(MessageLists &lists)
    {
        lists.ClearMessageList(0);
        lists.AddMessageItems(0, stored(SingleBoard));
        return lists.lsvMsgList(0).rowCount();
    }
};

class TestNgFilter : public QObject
{
    Q_OBJECT

private slots:
    void storedMatchesAreReadAndUnlisted_data()
    {
        QTest::addColumn<bool>("received");
        QTest::newRow("receive") << true;
        QTest::newRow("import") << false;
    }

    // A third of the messages match: all are stored, the matches read; the board's unread count
    // and the list agree, and removing the rule lists them again.
    void storedMatchesAreReadAndUnlisted()
    {
        QFETCH(bool, received);
        NgFixture f;
        const qint64 rule = *NgRuleRepository(*f.db).Add(posterRule(NgAction::Hide));
        QVERIFY(received ? f.receive() : f.importLog());
        QCOMPARE(f.stored(f.SingleBoard).size(), Messages);
        QCOMPARE(MessageRepository(*f.db).UnreadCount(f.SingleBoard), Messages * 2 / 3);
        MessageLists lists(f.db.get());
        QCOMPARE(f.fill(lists), Messages * 2 / 3);
        QCOMPARE(lists.lsvMsgList(0).UnreadCount(), Messages * 2 / 3);
        QCOMPARE(lists.MaxListID(), Messages); // the hidden newest message still ends the page
        QCOMPARE(NgRuleRepository(*f.db).Remove(rule), std::optional(true));
        QVERIFY(lists.ReloadNgRules());
        QCOMPARE(f.fill(lists), Messages);
    }

    // Hidden rows come back marked while "show NG" is on; あぼーん rows hide their texts until revealed.
    void listShowsWhatTheRulesLeave()
    {
        MessageListModel list;
        list.SetNgRules({posterRule(NgAction::Abone), [] {
                             NgRule hide = posterRule(NgAction::Hide);
                             hide.Pattern = u"spam"_s;
                             return hide;
                         }()});
        QCOMPARE(list.AddRows({message(1, u"荒らし"_s), message(2, u"spammer"_s), message(3, u"太郎"_s)}).size(), 2);
        list.SetShowNg(true);
        QCOMPARE(list.AddRow(message(2, u"spammer"_s)), 2);
        QCOMPARE(list.data(list.index(2, 0), MessageListModel::NgRole).toInt(), int(MessageListModel::NgMark::Hidden));
        QCOMPARE(list.NgMarkOf(1), MessageListModel::NgMark::None);
        QCOMPARE(list.NgMarkOf(0), MessageListModel::NgMark::Abone);
        for (const int column : {MessageListModel::ColSubject, MessageListModel::ColName, MessageListModel::ColBody})
            QCOMPARE(list.CellText(0, column), u"あぼーん"_s);
        QCOMPARE(list.Message(0).PostName, u"荒らし"_s);
        list.SetRevealed(0, true);
        QCOMPARE(list.CellText(0, MessageListModel::ColName), u"荒らし"_s);
    }
};

QTEST_GUILESS_MAIN(TestNgFilter)
#include "tst_ngfilter.moc"
