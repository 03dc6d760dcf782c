#include "cli/CliHome.h"
#include "db/Database.h"
#include "support/LogFormat.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"


using namespace Qt::StringLiterals;

namespace {

const QString Board = u"4"_s; // 雑談掲示板

int storedMessages(const QString &dbPath)
{
    std::unique_ptr<Database> db = Database::Open(dbPath);
    return db ? db->OpenRecordset(u"SELECT Count(*) FROM Message"_s)->Value(0, 0).toInt() : -1;
}

} // namespace

class TestCliImportSafety : public QObject
{
    Q_OBJECT

private slots:
    // The program folder on a small file system that the import fills: the run ends at the
    // failure with status 1, names the cause, reports what was stored, and prints no line per entry.
    void aFullDiskEndsTheImportWithWhatWasStored()
    {
        CliHome home;
        QTemporaryDir logs;
        const QString big = logs.filePath(u"big.log"_s), small = logs.filePath(u"small.log"_s);
        writeFile(big, LogFormat::sampleLog(1, 20000)); // about 5 MB of rows
        writeFile(small, LogFormat::sampleLog(30001, 30002));
        const SmallDisk disk(home.dir.path(), 1024);
        if (!disk.mounted())
            QSKIP("Mounting a small tmpfs needs root; the full-disk case is not run here.");
        QCOMPARE(home.run({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made

        const CliRun run = home.run({u"--yes"_s, u"import"_s, Board, big, small});
        const int stored = storedMessages(home.file(u"log.mdb"_s));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.out.startsWith(u"インポートを中止しました。ディスクの空き容量が不足しています。"_s), qPrintable(run.out));
        QVERIFY2(run.out.endsWith(u"インポートできたのは%1件です。\n"_s.arg(stored)), qPrintable(run.out));
        QVERIFY2(!run.err.contains(small + u"のインポート中"_s), qPrintable(run.err)); // the run ended there
        QVERIFY2(run.err.count(u'\n') < 10, qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestCliImportSafety)
#include "tst_cli_import_safety.moc"
