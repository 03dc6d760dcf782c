#include "../transfer/CBBSFixture.h"

#include "cookies/CookieStore.h"
#include "db/MessageRepository.h"
#include "db/NgRuleRepository.h"
#include "models/MessageLists.h"
#include "support/BoardSimulator.h"
#include "support/TestFiles.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 30;

NgRule rule(NgField field, const QString &pattern, bool regExp = false, NgAction action = NgAction::Hide)
{
    return NgRule{0, field, pattern, regExp, std::nullopt, action};
}

/** Message @p id of board 4 by @p name: subject "質問です", mail "sage", an address in the body. */
CMessage message(int id, const QString &name)
{
    return CMessage{CBBSFixture::SingleBoard, id, u"質問です"_s, {}, u"sage"_s, name, {}, 0, u"宣伝 http://spam.example.jp/"_s};
}

/** Sample messages 30 down to 1; every third one is posted by "荒らし". */
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

} // namespace

class TestNgFilter : public QObject
{
    Q_OBJECT

private slots:
    void matcherLooksAtTheRuleField_data()
    {
        QTest::addColumn<NgRule>("rule");
        QTest::addColumn<bool>("matches");
        QTest::newRow("plain, other letter case") << rule(NgField::Poster, u"taro"_s) << true;
        QTest::newRow("text of another field") << rule(NgField::Poster, u"sage"_s) << false;
        QTest::newRow("any field") << rule(NgField::Any, u"SAGE"_s) << true;
        QTest::newRow("plain text is no expression") << rule(NgField::Body, u"spam.*jp"_s) << false;
        QTest::newRow("expression keeps case") << rule(NgField::Poster, u"taro"_s, true) << false;
        QTest::newRow("expression ignoring case") << rule(NgField::Poster, u"(?i)taro"_s, true) << true;
    }

    void matcherLooksAtTheRuleField()
    {
        QFETCH(NgRule, rule);
        QTEST(NgMatcher({rule}).Match(message(1, u"名無しのTaro"_s)).has_value(), "matches");
    }

    void unsoundRulesAreRefused_data()
    {
        QTest::addColumn<NgRule>("rule");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << rule(NgField::Any, QString()) << u"NGにする文字列を入力してください。"_s;
        QTest::newRow("broken expression") << rule(NgField::Any, u"a(b"_s, true)
                                           << u"正規表現が正しくありません（4文字目）: missing closing parenthesis"_s;
        QTest::newRow("the same text, plain") << rule(NgField::Any, u"a(b"_s) << QString();
    }

    void unsoundRulesAreRefused()
    {
        QFETCH(NgRule, rule);
        QTEST(NgRuleError(rule), "error");
    }

    void storedMatchesAreReadAndUnlisted_data()
    {
        QTest::addColumn<bool>("received");
        QTest::newRow("receive") << true;
        QTest::newRow("import") << false;
    }

    // A third of the messages match: they are stored read, so the board's unread count and the
    // list agree; a rule of another board changes nothing; removing the rule lists them again.
    void storedMatchesAreReadAndUnlisted()
    {
        QFETCH(bool, received);
        CBBSFixture f;
        CookieStore cookies(f.dir.filePath(u"cookies.txt"_s));
        setCookieStore(&cookies);
        const auto noCookies = qScopeGuard([] { setCookieStore(nullptr); });
        BoardSimulator sim;
        QVERIFY(sim.listen());
        const int simBoard = sim.addBoard(0, u"/cgi-bin/single.cgi"_s);
        sim.addMessages(simBoard, boardMessages());
        QVERIFY(f.db->Execute(u"UPDATE BBS SET URL = '%1' WHERE BBS_ID = 4"_s.arg(sim.url(simBoard))));
        NgRuleRepository rules(*f.db);
        QVERIFY(rules.Add(NgRule{0, NgField::Body, u"本文"_s, false, f.SingleBoard + 1}));
        const qint64 poster = *rules.Add(rule(NgField::Poster, u"荒らし"_s));
        QSignalSpy loaded(&f.bbs, &CBBS::LoadFinished);
        if (received) {
            QVERIFY(f.bbs.LoadBBS(f.SingleBoard, false, false));
            QVERIFY(loaded.wait(60000));
        } else {
            writeFile(f.dir.filePath(u"log.txt"_s), LogFormat::toCp932(LogFormat::log(0, boardMessages())));
            QVERIFY(f.import(f.SingleBoard, f.dir.filePath(u"log.txt"_s)));
        }
        QCOMPARE(MessageRepository(*f.db).UnreadCount(f.SingleBoard), Messages * 2 / 3);
        MessageLists lists(f.db.get());
        const auto fill = [&] {
            lists.ClearMessageList(0);
            return lists.AddMessageItems(0, f.stored(f.SingleBoard));
        };
        QCOMPARE(fill(), Messages * 2 / 3);
        QCOMPARE(lists.lsvMsgList(0).UnreadCount(), Messages * 2 / 3);
        QCOMPARE(lists.MaxListID(), Messages); // the hidden newest message still ends the page
        QCOMPARE(rules.Remove(poster), std::optional(true));
        QVERIFY(lists.ReloadNgRules());
        QCOMPARE(fill(), Messages);
    }

    // Hide is the stronger action; hidden rows come back marked while "show NG" is on; あぼーん
    // rows show the word instead of their texts until revealed.
    void listShowsWhatTheRulesLeave()
    {
        MessageListModel list;
        list.SetNgRules({rule(NgField::Poster, u"荒らし"_s, false, NgAction::Abone), rule(NgField::Poster, u"spam"_s)});
        QCOMPARE(list.AddRows({message(1, u"荒らし"_s), message(2, u"荒らしspam"_s), message(3, u"太郎"_s)}).size(), 2);
        list.SetShowNg(true);
        QCOMPARE(list.AddRow(message(2, u"荒らしspam"_s)), 2);
        QCOMPARE(list.data(list.index(2, 0), MessageListModel::NgRole).toInt(), int(MessageListModel::NgMark::Hidden));
        for (const int column : {MessageListModel::ColSubject, MessageListModel::ColName, MessageListModel::ColBody})
            QCOMPARE(list.CellText(0, column), u"あぼーん"_s);
        QCOMPARE(list.Message(0).PostName, u"荒らし"_s);
        list.SetRevealed(0, true);
        QCOMPARE(list.CellText(0, MessageListModel::ColName), u"荒らし"_s);
    }
};

QTEST_GUILESS_MAIN(TestNgFilter)
#include "tst_ngfilter.moc"
