#include "cli/CliHome.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "support/BoardSimulator.h"
#include "support/SmallDisk.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 150;

int storedCount(const CliHome &home)
{
    const std::unique_ptr<Database> db = Database::Open(home.file(u"log.mdb"_s));
    const std::optional<Recordset> rows = db ? db->OpenRecordset(u"SELECT Count(*) FROM Message"_s) : std::nullopt;
    return rows ? rows->Value(0, 0).toInt() : -1;
}

} // namespace

class TestCliReceiveSafety : public QObject
{
    Q_OBJECT

private slots:
    // The disk fills during a receive: status 1 with the cause. Once there is room, the next
    // receive stores and reports exactly the messages the first one did not store.
    void fullDisk()
    {
        CliHome home;
        SmallDisk disk(home.dir.path(), 2048);
        if (!disk.mounted())
            QSKIP("a tmpfs cannot be mounted here (needs root): the full-disk case is not run");
        BoardSimulator sim;
        QVERIFY(sim.listen());
        const int board = sim.addBoard(0, u"/cgi-bin/zatsudan.cgi"_s);
        for (int number = 1; number <= Messages; ++number) {
            BoardMessage m = LogFormat::sampleMessage(number);
            m.body = QString(1000, u'字');
            sim.addMessage(board, m);
        }
        {
            const std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(home.file(u"log.mdb"_s));
            QVERIFY(db);
            QVERIFY(db->Execute(u"UPDATE BBS SET URL = '%1' WHERE BBS_ID = 4"_s.arg(sim.url(board))));
        }
        QVERIFY(disk.fill(300 * 1024)); // room for about two pages of 30

        const CliRun full = home.run({u"receive"_s, u"4"_s});
        QCOMPARE(full.status, 1);
        QVERIFY2(full.out.contains(u"ディスクの空き容量が不足しています。"_s), qPrintable(full.out));
        const int stored = storedCount(home);
        QVERIFY(stored > 0);
        QVERIFY(stored < Messages);
        QVERIFY2(full.out.contains(u"それまでの%1件は保存しました。"_s.arg(stored)), qPrintable(full.out));

        QVERIFY(disk.freeAll());
        const CliRun rest = home.run({u"receive"_s, u"4"_s});
        QCOMPARE(rest.status, 0);
        QCOMPARE(rest.out, u"4\t雑談掲示板で%1件受信しました。\n"_s.arg(Messages - stored));
        QCOMPARE(storedCount(home), Messages);
    }
};

QTEST_GUILESS_MAIN(TestCliReceiveSafety)
#include "tst_cli_receive_safety.moc"
