#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "transfer/LoadFixture.h"
#include "transfer/LoadRun.h"

using namespace Qt::StringLiterals;

/** Boards 4, 5 and 6 (type 0) on the simulator. */
struct RunFixture : LoadFixture
{
    ScriptedPrompter answers;
    LoadRun run{bbs, *db};
    QList<std::pair<int, bool>> started; // board, HasNext

    RunFixture()
    {
        place(5, 0, u"/cgi-bin/second.cgi"_s);
        place(6, 0, u"/cgi-bin/third.cgi"_s);
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
};

class TestLoadRun : public QObject
{
    Q_OBJECT

private slots:
    // New messages, nothing new, a failure and a missing board: one outcome each, in order.
    void runOverBoards()
    {
        RunFixture f;
        f.addMessages(4, 1, 3);
        f.setColumn(6, u"URL"_s, u'\'' + f.sim.baseUrl() + u"/cgi-bin/gone.cgi'"_s);
        f.run.Run({4, 5, 6, 99}, true);
        QCOMPARE(f.outcomeTexts(), QStringList({u"雑談掲示板で3件受信しました。"_s,
                                                u"質問掲示板に新規投稿はありませんでした。"_s,
                                                u"情報交換掲示板から受信できませんでした。"_s,
                                                u"掲示板99はありません。"_s}));
        const QList<LoadRun::Outcome> &outcomes = f.run.Outcomes();
        QCOMPARE(outcomes.at(0).SaveCount, 3);
        QCOMPARE(outcomes.at(1).kind, LoadRun::Outcome::NothingNew);
        QCOMPARE(outcomes.at(2).Error, u"Error:HTTP/1.1 404 Not Found"_s);
        QVERIFY(f.run.AnyFailed());
        QCOMPARE(f.started, (QList<std::pair<int, bool>>{{4, true}, {5, true}, {6, true}}));
        QCOMPARE(LoadRun::StartText(f.board(4)), u"雑談掲示板から受信中..."_s);
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
        for (int id : {4, 5, 6})
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
        f.run.Run({4, 5, 6}, true);
        QStringList expected{u"雑談掲示板で5件受信しました。"_s, u"処理は中断されました。"_s};
        if (goOn)
            expected << u"情報交換掲示板で5件受信しました。"_s;
        QCOMPARE(f.outcomeTexts(), expected);
        QVERIFY(!f.run.AnyFailed());
        QCOMPARE(f.board(5).NoReadPoint(), 0);
    }

    // ExitIfMessageFound holds for unread loads only.
    void exitIfMessageFoundOnUnreadLoadsOnly()
    {
        RunFixture f;
        mdlOption::ExitIfMessageFound = true;
        f.addMessages(6, 1, 60);
        f.storeMessages(6, 51, 60);
        f.run.Run({6}, true);
        QCOMPARE(f.outcomeTexts(), QStringList{u"情報交換掲示板で20件受信しました。"_s});
        QCOMPARE(f.targets(), QStringList{u"/cgi-bin/third.cgi?dousa=log&logmidoku=1&logno=0"_s});
        f.run.Run({6}, false);
        QCOMPARE(f.outcomeTexts(), QStringList{u"情報交換掲示板で30件受信しました。"_s});
    }

    // The program closes during a board: the run ends without that board's outcome.
    void abandonedRun()
    {
        RunFixture f;
        QObject::connect(&f.run, &LoadRun::BoardStarted, [&] { f.run.Abandon(); });
        f.run.Run({4, 5}, true);
        QVERIFY(f.run.IsAbandoned() && f.run.Outcomes().isEmpty());
        QCOMPARE(f.started.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLoadRun)
#include "tst_loadrun.moc"
