#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "transfer/LoadFixture.h"
#include "transfer/LoadRun.h"

#include <QTimer>

using namespace Qt::StringLiterals;

/** Three type-0 boards on the simulator: 4 and 5 (both served) and 6. */
struct RunFixture : LoadFixture
{
    static constexpr int Second = 5;
    static constexpr int Third = 6;
    ScriptedPrompter answers;
    LoadRun run{bbs, *db};
    QList<std::pair<int, bool>> started; // board, HasNext

    RunFixture()
    {
        place(Second, 0, u"/cgi-bin/second.cgi"_s);
        place(Third, 0, u"/cgi-bin/third.cgi"_s);
        setPrompter(&answers);
        QObject::connect(&run, &LoadRun::BoardStarted, [this](const CBBSProperty &b, bool hasNext) {
            started.append({b.ID(), hasNext});
        });
        mdlOption::ExitIfMessageFound = false;
        mdlOption::Timeout = 60;
    }
    ~RunFixture() { setPrompter(nullptr); }

    QStringList outcomeTexts() const
    {
        QStringList texts;
        for (const LoadRun::Outcome &o : run.Outcomes())
            texts << o.Text;
        return texts;
    }
    /** Marks exactly @p boards for visit loads and hides every other board but @p listed. */
    void select(const QList<int> &visit, const QList<std::pair<int, int>> &listed)
    {
        QVERIFY(db->Execute(u"UPDATE BBS SET VisitLoad = False, ListOrder = -1"_s));
        for (int id : visit)
            QVERIFY(db->Execute(u"UPDATE BBS SET VisitLoad = True WHERE BBS_ID = %1"_s.arg(id)));
        for (const auto &[id, order] : listed)
            QVERIFY(db->Execute(u"UPDATE BBS SET ListOrder = %1 WHERE BBS_ID = %2"_s.arg(order).arg(id)));
    }
};

class TestLoadRun : public QObject
{
    Q_OBJECT

private slots:
    // New messages, nothing new, a failure and a missing board: one outcome each, in order.
    void runOverBoards()
    {
        RunFixture f;
        f.addMessages(f.SingleBoard, 1, 3);
        f.setUrl(f.Third, f.sim.baseUrl() + u"/cgi-bin/gone.cgi"_s);
        QSignalSpy finished(&f.run, &LoadRun::BoardFinished);

        f.run.Run({f.SingleBoard, f.Second, f.Third, 99}, true);
        QCOMPARE(f.outcomeTexts(), QStringList({u"雑談掲示板で3件受信しました。"_s,
                                                u"質問掲示板に新規投稿はありませんでした。"_s,
                                                u"情報交換掲示板から受信できませんでした。"_s,
                                                u"掲示板99はありません。"_s}));
        const QList<LoadRun::Outcome> &outcomes = f.run.Outcomes();
        QCOMPARE(outcomes.at(0).kind, LoadRun::Outcome::Received);
        QCOMPARE(outcomes.at(0).SaveCount, 3);
        QCOMPARE(outcomes.at(1).kind, LoadRun::Outcome::NothingNew);
        QCOMPARE(outcomes.at(2).kind, LoadRun::Outcome::Failed);
        QCOMPARE(outcomes.at(2).Error, u"Error:HTTP/1.1 404 Not Found"_s);
        QCOMPARE(outcomes.at(3).kind, LoadRun::Outcome::Failed);
        QVERIFY(f.run.AnyFailed());
        QCOMPARE(finished.size(), 4);
        QCOMPARE(f.started, (QList<std::pair<int, bool>>{{4, true}, {5, true}, {6, true}}));
        QCOMPARE(LoadRun::StartText(f.board(f.SingleBoard)), u"雑談掲示板から受信中..."_s);
        QCOMPARE(f.bbs.Timeout(), 60);
    }

    void cancelDuringTheSecondBoard_data()
    {
        QTest::addColumn<bool>("goOn");
        QTest::newRow("the user goes on") << true;
        QTest::newRow("the user stops") << false;
    }

    // The dialog cancels the transfer, then asks whether to go on with the next board.
    void cancelDuringTheSecondBoard()
    {
        QFETCH(bool, goOn);
        RunFixture f;
        for (int id : {int(f.SingleBoard), f.Second, f.Third})
            f.addMessages(id, 1, 5);
        BoardSimulator::Fault slow;
        slow.kind = BoardSimulator::FaultKind::SlowBody;
        f.sim.setFault(slow, 1, 1);
        QObject::connect(&f.bbs, &CBBS::StateChanged, [&](const QString &text) {
            if (text.endsWith(u"バイト受信しました。"_s) && f.started.size() == 2) {
                f.bbs.Cancel();
                if (!goOn)
                    f.run.StopAfterBoard();
            }
        });
        f.run.Run({f.SingleBoard, f.Second, f.Third}, true);
        QStringList expected{u"雑談掲示板で5件受信しました。"_s, u"処理は中断されました。"_s};
        if (goOn)
            expected << u"情報交換掲示板で5件受信しました。"_s;
        QCOMPARE(f.outcomeTexts(), expected);
        QCOMPARE(f.run.Outcomes().at(1).kind, LoadRun::Outcome::Cancelled);
        QVERIFY(!f.run.AnyFailed());
        QCOMPARE(f.board(f.Second).NoReadPoint(), 0);
    }

    // The option applies to unread loads only.
    void exitIfMessageFoundOption_data()
    {
        QTest::addColumn<bool>("unreadOnly");
        QTest::addColumn<int>("requests");
        QTest::newRow("unread") << true << 1;
        QTest::newRow("all") << false << 3;
    }

    void exitIfMessageFoundOption()
    {
        QFETCH(bool, unreadOnly);
        QFETCH(int, requests);
        RunFixture f;
        mdlOption::ExitIfMessageFound = true;
        f.addMessages(f.SingleBoard, 1, 60);
        QVERIFY(f.bbs.AnalyseLog(f.SingleBoard, LogFormat::log(0, f.sim.messages(0).mid(50)), false));
        f.run.Run({f.SingleBoard}, unreadOnly);
        QCOMPARE(f.sim.requests().size(), requests);
    }

    void choosingBoards()
    {
        RunFixture f;
        f.select({f.Third, f.SingleBoard}, {{f.Third, 1}, {f.SingleBoard, 2}, {f.Second, 0}});
        QCOMPARE(*f.run.ChooseBoards(LoadRun::Selection::Visit), (QList<int>{6, 4}));
        QCOMPARE(*f.run.ChooseBoards(LoadRun::Selection::AllBoards), (QList<int>{5, 6, 4}));

        f.addMessages(f.Third, 1, 2);
        QVERIFY(f.run.Run(LoadRun::Selection::Visit));
        QCOMPARE(f.outcomeTexts(), QStringList({u"情報交換掲示板で2件受信しました。"_s,
                                                u"雑談掲示板に新規投稿はありませんでした。"_s}));
        QVERIFY(f.sim.requests().first().target.contains("logmidoku=1"));
        QVERIFY(f.answers.records().isEmpty());
    }

    void noBoardsToVisit()
    {
        RunFixture f;
        f.select({}, {});
        for (LoadRun::Selection selection : {LoadRun::Selection::Visit, LoadRun::Selection::AllBoards}) {
            f.answers.clear();
            QVERIFY(!f.run.Run(selection));
            QCOMPARE(f.answers.records().size(), 1);
            QCOMPARE(f.answers.records().first().icon, Prompter::Icon::Information);
            QCOMPARE(f.answers.records().first().text, u"巡回受信対象の掲示板はありませんでした。"_s);
        }
        QVERIFY(f.started.isEmpty());
        QVERIFY(f.sim.requests().isEmpty());
    }

    // The program closes during a board: the run ends without that board's outcome.
    void abandonedRun()
    {
        RunFixture f;
        f.addMessages(f.SingleBoard, 1, 2);
        QObject::connect(&f.run, &LoadRun::BoardStarted, [&] { f.run.Abandon(); });
        f.run.Run({f.SingleBoard, f.Second}, true);
        QVERIFY(f.run.IsAbandoned());
        QVERIFY(f.run.Outcomes().isEmpty());
        QCOMPARE(f.started.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLoadRun)
#include "tst_loadrun.moc"
