#include "CBBSFixture.h"

#include "app/Prompter.h"

using namespace Qt::StringLiterals;
using LogFormat::sampleMessage;

namespace {

const QString Analysing = u"件目を解析中..."_s;
const QString Updating = u"スレッド情報を更新中..."_s;
const QString Updated = u"スレッド情報の更新を終了しました。"_s;

QStringList texts(const QSignalSpy &spy, int argument)
{
    QStringList out;
    for (const QList<QVariant> &call : spy)
        out.append(call.at(argument).toString());
    return out;
}

BoardMessage raw(const QString &entry)
{
    BoardMessage m;
    m.rawEntry = entry;
    return m;
}

using Saves = QList<std::pair<int, int>>; // (ID, InReplyTo)
constexpr int OtherBoard = 5;

/** The roots of the stored messages of @p board in ID order. */
QList<int> roots(CBBSFixture &f, int board)
{
    QList<int> out;
    for (const CMessage &msg : f.stored(board))
        out.append(msg.RootThread);
    return out;
}

} // namespace

class TestCBBSAnalyse : public QObject
{
    Q_OBJECT

    ScriptedPrompter m_prompter;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<CMessage>();
        setPrompter(&m_prompter);
    }

    void layoutsOfEveryBoardType_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("type");
        QTest::newRow("single") << CBBSFixture::SingleBoard << 0;
        QTest::newRow("left") << CBBSFixture::LeftBoard << 1;
        QTest::newRow("right") << CBBSFixture::RightBoard << 2;
        QTest::newRow("text page") << CBBSFixture::TextPageBoard << 3;
    }

    void layoutsOfEveryBoardType()
    {
        QFETCH(int, board);
        QFETCH(int, type);
        const BoardMessage m{1234, u" 件名「テスト」 "_s, u"名無し　さん"_s, u"user@example.jp"_s, u"http://例え.jp/~u"_s,
                             CMessage::WallClock(QDate(2001, 2, 3), QTime(12, 34, 56)), 7,
                             u"一行目\r\n\r\n<b>三行目</b> &amp; 'x' | y\r\n"_s, {}};
        CBBSFixture f;
        QVERIFY(f.bbs.AnalyseLog(board, LogFormat::log(type, {m}), true));
        // Stored to the minute; message 7 is not stored, so 1234 starts its thread.
        const CMessage expected{board, 1234, type == 1 || type == 2 ? m.body : m.subject, m.homePage, m.mail,
                                m.name, m.date.addSecs(-56), 7, m.body, 1234, 0, true};
        QCOMPARE(f.stored(board), QList<CMessage>{expected});
    }

    void textsCountersAndSeparators()
    {
        CBBSFixture f;
        BoardMessage emptyBody = sampleMessage(30);
        emptyBody.body.clear();
        const BoardMessage broken = raw(u"壊れた\r\nエントリー"_s);
        // The text after the last separator is no entry, even when it looks like one.
        const QString text = LogFormat::log(0, {sampleMessage(10), broken, sampleMessage(50), emptyBody})
                             + LogFormat::entry(0, sampleMessage(60));

        QSignalSpy loaded(&f.bbs, &CBBS::Loaded);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        bool inTransaction = false;
        connect(&f.bbs, &CBBS::Loaded, this, [&] { inTransaction = f.db->InTransaction(); });
        QVERIFY(f.bbs.AnalyseLog(4, text, false));
        QCOMPARE(texts(state, 0), QStringList({u"0"_s + Analysing, u"2"_s + Analysing,
                                               u"3"_s + Analysing, Updating, Updated}));
        QCOMPARE(texts(errors, 2), QStringList({u"1件目のログが壊れていました。"_s,
                                                u"3件目のログをデータベースに登録できませんでした。"_s}));
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(f.bbs.AnalyseCount(), 3);
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(f.bbs.AnalyseError(), -1);
        // Loaded comes once the row is committed (its receiver never writes into our
        // transaction), and another connection sees the rows.
        QVERIFY(!inTransaction);
        QCOMPARE(Database::Open(f.path())->OpenRecordset(u"SELECT ID FROM Message"_s)->RecordCount(), 2);

        // A board without a layout (unknown type, no such board) has only broken entries.
        QVERIFY(f.db->Execute(u"UPDATE BBS SET BBSType = 7 WHERE BBS_ID = 5"_s));
        QVERIFY(f.bbs.AnalyseLog(5, LogFormat::log(0, {sampleMessage(1)}), false));
        QVERIFY(f.bbs.AnalyseLog(99, LogFormat::log(0, {sampleMessage(1)}), false));
        QCOMPARE(errors.size(), 4);
        QCOMPARE(f.bbs.AnalyseCount(), 3); // no more entries parsed
    }

    void badInputIsStoredOrReportedAndNothingStoredChanges()
    {
        CBBSFixture f;
        QVERIFY(f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(1), sampleMessage(2)}), false));
        const QList<CMessage> before = f.stored(4);

        QList<BoardMessage> entries{raw(u"\x01\xff\r\n：\0"_s)};
        const QString first = LogFormat::entry(0, sampleMessage(1));
        BoardMessage huge = sampleMessage(4);
        BoardMessage nul = sampleMessage(5);
        huge.body = QString(10 * 1024 * 1024, u'x');
        nul.body = u"a\0b"_s;
        entries << raw(first.left(first.indexOf(u"メール"_s)))
                << raw(QString(first).replace(u"：　1\r\n"_s, u"：　2147483648\r\n"_s))
                << raw(QString(first).replace(u"2024/01/01"_s, u"2001/13/45"_s)) << huge << nul;

        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QSignalSpy loaded(&f.bbs, &CBBS::Loaded);
        f.bbs.AnalyseLog(4, LogFormat::log(0, entries), false);
        QCOMPARE(errors.size(), 4);
        QCOMPARE(loaded.size(), 2);
        const QList<CMessage> after = f.stored(4);
        QCOMPARE(after.size(), 4);
        QCOMPARE(after.mid(0, 2), before);
        QCOMPARE(after.at(2).Body.size(), huge.body.size());
        QCOMPARE(after.at(3).Body, nul.body);
    }

    void linking_data()
    {
        // Saves (ID, InReplyTo), the roots in ID order after a pass, more saves, the roots after a
        // second pass.
        QTest::addColumn<Saves>("first");
        QTest::addColumn<QList<int>>("afterFirst");
        QTest::addColumn<Saves>("second");
        QTest::addColumn<QList<int>>("afterSecond");
        QTest::newRow("a chain stored in any order, in one pass")
            << Saves{{12, 11}, {10, 0}, {11, 10}} << QList<int>{10, 10, 10} << Saves{} << QList<int>{10, 10, 10};
        QTest::newRow("a reply to a later message, and its own reply, wait for the next pass")
            << Saves{{20, 25}, {25, 0}, {26, 20}} << QList<int>{0, 25, 0} << Saves{} << QList<int>{25, 25, 25};
        QTest::newRow("a reply to a missing message starts a thread for good")
            << Saves{{30, 5}} << QList<int>{30} << Saves{{5, 0}, {31, 30}} << QList<int>{5, 30, 30};
        QTest::newRow("a cycle (also to itself) starts from its smallest number")
            << Saves{{7, 7}, {40, 41}, {41, 40}, {39, 40}} << QList<int>{7, 0, 40, 40} << Saves{}
            << QList<int>{7, 40, 40, 40};
        QTest::newRow("replies in one pass to messages of older threads take their roots")
            << Saves{{1, 0}, {2, 1}, {3, 0}, {4, 3}} << QList<int>{1, 1, 3, 3} << Saves{{5, 2}, {6, 4}, {7, 4}}
            << QList<int>{1, 1, 3, 3, 1, 3, 3};
    }

    void linking()
    {
        QFETCH(Saves, first);
        QFETCH(QList<int>, afterFirst);
        QFETCH(Saves, second);
        QFETCH(QList<int>, afterSecond);
        CBBSFixture f;
        f.save(OtherBoard, {{1, 0}, {2, 1}});
        f.save(4, first);
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), afterFirst);
        f.save(4, second);
        f.bbs.UpdateThreads(4);
        QCOMPARE(roots(f, 4), afterSecond);
        QCOMPARE(roots(f, OtherBoard), QList<int>({0, 0})); // only the board asked for is linked
    }
};

QTEST_GUILESS_MAIN(TestCBBSAnalyse)
#include "tst_cbbs_analyse.moc"
