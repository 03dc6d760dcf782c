#include "app/mdlEncoding.h"
#include "cli/CliHome.h"
#include "db/mdlDatabase.h"
#include "support/BoardSimulator.h"

#include <QFile>

using namespace Qt::StringLiterals;

class TestCliReceive : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;
    std::unique_ptr<BoardSimulator> m_sim;

    CliRun receive(const QStringList &args) const { return m_home->run(QStringList{u"receive"_s} + args); }

    void execute(const QString &sql)
    {
        auto db = mdlDatabase::OpenLogDatabase(m_home->file(u"log.mdb"_s));
        QVERIFY2(db && db->Execute(sql), qPrintable(sql));
    }

    QByteArray lastTarget() const { return m_sim->requests().last().target; }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }

    // Boards 4 and 5 are served, 6 answers 404; no other board is listed.
    void init()
    {
        m_home.emplace();
        m_sim = std::make_unique<BoardSimulator>();
        QVERIFY(m_sim->listen());
        m_sim->addSampleMessages(m_sim->addBoard(0, u"/cgi-bin/zatsudan.cgi"_s), 1, 5);
        m_sim->addBoard(0, u"/cgi-bin/shitsumon.cgi"_s);
        QVERIFY(mdlDatabase::CreateLogDatabase(m_home->file(u"log.mdb"_s)));
        const QString base = m_sim->baseUrl();
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/none.cgi', ListOrder = -1, VisitLoad = False"_s.arg(base));
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/zatsudan.cgi', ListOrder = 1 WHERE BBS_ID = 4"_s.arg(base));
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/shitsumon.cgi', ListOrder = 2 WHERE BBS_ID = 5"_s.arg(base));
        execute(u"UPDATE BBS SET ListOrder = 0 WHERE BBS_ID = 6"_s);
    }

    void cleanup() { m_sim.reset(); }

    // Unread loads keep their position in the home folder's cookie file; --full asks for all.
    void receiveBoards()
    {
        BoardMessage broken;
        broken.number = 6;
        broken.rawEntry = u"壊れた記事"_s;
        m_sim->addMessage(0, broken);
        CliRun run = receive({u"4"_s, u"5"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"4\t雑談掲示板で5件受信しました。\n5\t質問掲示板に新規投稿はありませんでした。\n"_s);
        for (const QString &progress : {u"雑談掲示板から受信中...\n"_s, u"1番目のログを要求しています。\n"_s,
                                        u"未読位置を5に設定しました。\n"_s})
            QVERIFY(run.err.contains(progress));
        QCOMPARE(lastTarget(), "/cgi-bin/shitsumon.cgi?dousa=log&logmidoku=1&logno=0");
        QFile badLog(m_home->file(u"zatsudan.bad"_s));
        QVERIFY(badLog.open(QIODevice::ReadOnly) && badLog.readAll().startsWith(mdlMain::ToCp932(u"壊れた記事"_s)));

        QCOMPARE(receive({u"4"_s}).out, u"4\t雑談掲示板に新規投稿はありませんでした。\n"_s);
        QVERIFY(m_sim->requests().last().cookie.contains(",,,5,30"));
        QCOMPARE(receive({u"--full"_s, u"4"_s}).status, 0);
        QCOMPARE(lastTarget(), "/cgi-bin/zatsudan.cgi?dousa=log&logmidoku=0&logno=0");
    }

    // Failed boards (here a 404 and a time-out taken from the settings file) make status 1.
    void visitAndAllBoards()
    {
        QFile ini(m_home->file(u"tessera.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Option]\r\nTimeout=1\r\n") > 0);
        ini.close();
        BoardSimulator::Fault silent;
        silent.kind = BoardSimulator::FaultKind::NeverAnswer;
        m_sim->setFault(silent, 1, 1);
        CliRun run = receive({u"--all"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"6\t情報交換掲示板から受信できませんでした。\tError:HTTP/1.1 404 Not Found\n"
                          u"4\t雑談掲示板から受信できませんでした。\t受信エラー(4):1秒以内に応答がありませんでした。\n"
                          u"5\t質問掲示板に新規投稿はありませんでした。\n"_s);

        execute(u"UPDATE BBS SET VisitLoad = True WHERE BBS_ID = 5"_s);
        QCOMPARE(receive({u"--visit"_s}).out, u"5\t質問掲示板に新規投稿はありませんでした。\n"_s);
        execute(u"UPDATE BBS SET VisitLoad = False"_s);
        run = receive({u"--visit"_s});
        QVERIFY(run.status == 0 && run.out.isEmpty());
        QVERIFY(run.err.contains(u"巡回受信対象の掲示板はありませんでした。"_s));
    }

    void usageErrors()
    {
        for (const QStringList &args : {QStringList{}, {u"--visit"_s, u"4"_s}, {u"--full"_s, u"--all"_s}, {u"vier"_s}}) {
            const CliRun run = receive(args);
            QVERIFY(run.status == 2 && run.err.contains(u"usage: tessera-cli receive"_s));
        }
        QVERIFY(m_sim->requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliReceive)
#include "tst_cli_receive.moc"
