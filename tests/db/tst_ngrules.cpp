#include "db/NgRuleRepository.h"
#include "db/mdlDatabase.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

CMessage message()
{
    CMessage m;
    m.BBS_ID = 3;
    m.PostName = u"名無しのTaro"_s;
    m.Mail = u"sage"_s;
    m.Subject = u"質問です"_s;
    m.Body = u"宣伝 http://spam.example.jp/\nよろしく"_s;
    m.HomePage = u"http://home.example.jp/"_s;
    return m;
}

NgRule rule(NgField field, const QString &pattern, bool regExp = false, NgAction action = NgAction::Hide)
{
    NgRule r;
    r.Field = field;
    r.Pattern = pattern;
    r.RegExp = regExp;
    r.Action = action;
    return r;
}

} // namespace

class TestNgRules : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<Database> m_db;

    /** Stores unread messages 1 to 3 of board 3 and 1 of board 4; message 2 has the poster "荒らし". */
    void storeMessages()
    {
        QVERIFY(m_db->Execute(u"INSERT INTO Message (BBS_ID, ID, Read, PostName, Body) VALUES "
                              "(3, 1, 0, 'a', 'x'), (3, 2, 0, '荒らし', 'x'), (3, 3, -1, '荒らし', 'x'), (4, 1, 0, '荒らし', 'x')"_s));
    }

private slots:
    void init()
    {
        m_db = mdlDatabase::CreateLogDatabase(m_dir.filePath(QString::number(++m_files) + u".mdb"_s));
        QVERIFY(m_db);
    }

    void matcherFindsTheRuleField_data()
    {
        QTest::addColumn<NgRule>("rule");
        QTest::addColumn<bool>("matches");
        QTest::newRow("poster, plain, other case") << rule(NgField::Poster, u"taro"_s) << true;
        QTest::newRow("poster, text of another field") << rule(NgField::Poster, u"sage"_s) << false;
        QTest::newRow("mail") << rule(NgField::Mail, u"SAGE"_s) << true;
        QTest::newRow("subject") << rule(NgField::Subject, u"質問"_s) << true;
        QTest::newRow("body, second line") << rule(NgField::Body, u"よろしく"_s) << true;
        QTest::newRow("home page") << rule(NgField::HomePage, u"home.example"_s) << true;
        QTest::newRow("any field") << rule(NgField::Any, u"home.example"_s) << true;
        QTest::newRow("plain text is no expression") << rule(NgField::Body, u"spam.*jp"_s) << false;
        QTest::newRow("expression") << rule(NgField::Body, u"spam\\.\\w+\\.jp"_s, true) << true;
        QTest::newRow("expression keeps case") << rule(NgField::Poster, u"taro"_s, true) << false;
        QTest::newRow("expression asking to ignore case") << rule(NgField::Poster, u"(?i)taro"_s, true) << true;
        QTest::newRow("broken expression matches nothing") << rule(NgField::Any, u"(["_s, true) << false;
    }

    void matcherFindsTheRuleField()
    {
        QFETCH(NgRule, rule);
        QFETCH(bool, matches);
        QCOMPARE(NgMatcher({rule}).Match(message()).has_value(), matches);
    }

    void hideIsStrongerThanAbone()
    {
        NgMatcher matcher({rule(NgField::Mail, u"sage"_s, false, NgAction::Abone), rule(NgField::Subject, u"質問"_s)});
        QCOMPARE(matcher.Match(message()), std::optional(NgAction::Hide));
    }

    void unsoundRulesAreRefused_data()
    {
        QTest::addColumn<NgRule>("rule");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << rule(NgField::Any, QString()) << u"NGにする文字列を入力してください。"_s;
        QTest::newRow("too long") << rule(NgField::Any, QString(256, u'x')) << u"NGにする文字列は255文字までです。"_s;
        QTest::newRow("broken expression") << rule(NgField::Any, u"a(b"_s, true)
                                           << u"正規表現が正しくありません（4文字目）: missing closing parenthesis"_s;
        QTest::newRow("the same text in plain") << rule(NgField::Any, u"a(b"_s) << QString();
    }

    // A refused rule is not stored; a sound one is, with every part.
    void unsoundRulesAreRefused()
    {
        QFETCH(NgRule, rule);
        QFETCH(QString, error);
        rule.BBS_ID = 4;
        QString refused;
        const std::optional<qint64> id = NgRuleRepository(*m_db).Add(rule, &refused);
        QCOMPARE(refused, error);
        rule.ID = id.value_or(0);
        QCOMPARE(*NgRuleRepository(*m_db).List(), error.isEmpty() ? QList{rule} : QList<NgRule>{});
    }

    // A board sees the rules of every board and its own; removing takes a rule away once.
    void boardsSeeTheirRules()
    {
        NgRuleRepository rules(*m_db);
        NgRule own = rule(NgField::Poster, u"a"_s);
        own.BBS_ID = 4;
        const qint64 everyBoard = *rules.Add(rule(NgField::Poster, u"b"_s));
        own.ID = *rules.Add(own);
        QCOMPARE(rules.ForBoard(3)->size(), 1);
        QCOMPARE(rules.ForBoard(4)->size(), 2);
        QCOMPARE(rules.Remove(everyBoard), std::optional(true));
        QCOMPARE(rules.Remove(everyBoard), std::optional(false));
        QCOMPARE(*rules.ForBoard(4), QList{own});
    }

    void markingUnreadReadKeepsToTheScope_data()
    {
        QTest::addColumn<std::optional<int>>("board");
        QTest::addColumn<int>("marked");
        QTest::newRow("every board") << std::optional<int>() << 2;
        QTest::newRow("board 3") << std::optional(3) << 1;
    }

    void markingUnreadReadKeepsToTheScope()
    {
        QFETCH(std::optional<int>, board);
        QFETCH(int, marked);
        storeMessages();
        NgRule r = rule(NgField::Poster, u"荒らし"_s);
        r.BBS_ID = board;
        QCOMPARE(NgRuleRepository(*m_db).MarkUnreadRead(r), std::optional(marked));
        QCOMPARE(m_db->OpenRecordset(u"SELECT Count(*) FROM Message WHERE Read = False"_s)->Value(0).toInt(), 3 - marked);
    }
};

QTEST_GUILESS_MAIN(TestNgRules)
#include "tst_ngrules.moc"
