#include "cli/CliHome.h"
#include "support/LogFormat.h"
#include "support/OtherProcess.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtEndian>

using namespace Qt::StringLiterals;

// Two tessera-cli processes on one program folder, processes killed in the middle of their
// work, a full disk and a damaged database file: what was reported as stored must stay stored.

namespace {

const QString Board = u"4"_s;

/** Writes a log of the messages @p first to @p first + @p count - 1, rows big enough to fill SQLite's cache. */
void writeLog(const QString &path, int first, int count)
{
    writeFile(path, LogFormat::sampleLog(first, first + count - 1, 400));
}

/**
 * True while the header of database @p path declares more pages than the file holds: a commit
 * has written the first page and not yet the last ones.
 */
bool commitWriting(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100)
        return false;
    const auto *h = reinterpret_cast<const uchar *>(header.constData());
    const bool countValid = qFromBigEndian<quint32>(h + 24) == qFromBigEndian<quint32>(h + 92);
    return countValid && qint64(qFromBigEndian<quint32>(h + 28)) * 4096 > file.size();
}

/** True when process @p pid has the file @p path open. */
bool hasOpen(qint64 pid, const QString &path)
{
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(u"/proc/%1/fd"_s.arg(pid));
    for (const QFileInfo &fd : descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == wanted)
            return true;
    }
    return false;
}

/** The seed of the random kill moments, logged; TESSERA_KILL_SEED gives it to replay a run. */
quint32 killSeed()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("TESSERA_KILL_SEED").toUInt(&given);
    return given ? seed : QRandomGenerator::system()->generate();
}

} // namespace

class TestCliSafety : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;

    QString database() const { return m_home->file(u"log.mdb"_s); }
    CliRun cli(const QStringList &args, const CliHome::Environment &environment = {}) const
    {
        return m_home->run(args, environment);
    }
    CliRun import(const QString &log) const { return cli({u"--yes"_s, u"import"_s, Board, log}); }

    /** Starts an import of @p log in the background. */
    void startImport(QProcess &process, const QString &log) const
    {
        m_home->start(process, {u"--yes"_s, u"import"_s, Board, log});
        QVERIFY(process.waitForStarted());
    }

    /** Rows of table Message and SQLite's check, as another program reads them. */
    qint64 messageCount() const { return sqliteTool(database(), u"SELECT count(*) FROM Message"_s).toLongLong(); }
    QString integrity() const { return sqliteTool(database(), u"PRAGMA integrity_check"_s); }

    /** Returns as soon as @p process's commit is writing the database file, or when it ended. */
    void waitForCommitWriting(QProcess &process) const
    {
        QElapsedTimer waited;
        waited.start();
        for (int turn = 0; waited.elapsed() < 60000; ++turn) {
            if (commitWriting(database()))
                return;
            if (turn % 256 == 0) {
                QCoreApplication::processEvents();
                if (process.state() == QProcess::NotRunning)
                    return;
            }
        }
    }

    bool backupExists() const { return QFile::exists(m_home->file(u"log.bak"_s)); }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }

    void init()
    {
        m_home.emplace();
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0);
    }

    void queriesBesideAnImportWaitForItsCommit()
    {
        constexpr int Count = 40000;
        writeLog(m_home->file(u"big.log"_s), 1, Count);
        QProcess importing;
        startImport(importing, m_home->file(u"big.log"_s));
        int queries = 0;
        QStringList failures;
        while (importing.state() != QProcess::NotRunning) {
            const CliRun run = cli({u"query"_s, u"SELECT count(*) FROM Message"_s});
            ++queries;
            if (run.status != 0)
                failures.append(run.err);
        }
        QVERIFY(queries > 3);
        QCOMPARE(failures, QStringList());
        QCOMPARE(importing.exitCode(), 0);
        QVERIFY(!backupExists());
        QCOMPARE(messageCount(), Count);
        QCOMPARE(integrity(), u"ok"_s);
    }

    void killedImportsKeepEveryCommittedRow()
    {
        constexpr int Rounds = 5;
        constexpr int Committed = 1000;
        constexpr int Killed = 20000;
        const quint32 seed = killSeed();
        qInfo("random kill moments: TESSERA_KILL_SEED=%u replays them", seed);
        QRandomGenerator random(seed);
        qint64 kept = 0;
        for (int round = 0; round < Rounds; ++round) {
            const int first = 1 + round * (Committed + Killed);
            writeLog(m_home->file(u"committed.log"_s), first, Committed);
            QCOMPARE(import(m_home->file(u"committed.log"_s)).status, 0);
            kept = messageCount();
            QVERIFY(kept >= (round + 1) * Committed);

            // Killed in the middle of its commit (odd rounds) or after a random short delay.
            writeLog(m_home->file(u"killed.log"_s), first + Committed, Killed);
            QProcess importing;
            startImport(importing, m_home->file(u"killed.log"_s));
            if (round % 2 == 1)
                waitForCommitWriting(importing);
            else
                QTest::qWait(500 + random.bounded(1500));
            importing.kill(); // SIGKILL
            importing.waitForFinished();

            const CliRun next = cli({u"boards"_s});
            QCOMPARE(next.status, 0);
            QVERIFY(!backupExists());
            QVERIFY(messageCount() >= kept);
            QCOMPARE(integrity(), u"ok"_s);
        }
    }

    // A query started during a compaction waits at the lock file, then reads what the
    // compaction left.
    void openingWaitsForACompactionInProgress()
    {
        std::optional<OtherProcess> compaction(std::in_place, database(), true);
        QVERIFY(compaction->held);
        QProcess query;
        m_home->start(query, {u"query"_s, u"SELECT BBS_Name FROM BBS WHERE BBS_ID = 4"_s});
        QVERIFY(QTest::qWaitFor([&] {
            return hasOpen(query.processId(), database() + u".lock"_s) || query.state() == QProcess::NotRunning;
        }, 10000));
        bool ok = false;
        sqliteTool(database(), u"UPDATE BBS SET BBS_Name = 'compacted' WHERE BBS_ID = 4"_s, &ok);
        QVERIFY(ok);
        compaction.reset();
        QVERIFY(QTest::qWaitFor([&] { return query.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(query.exitCode(), 0);
        QCOMPARE(query.readAllStandardOutput(), "BBS_Name\ncompacted\n");
    }

    void checkFindsDamageAndRepairRecoversIt_data()
    {
        QTest::addColumn<bool>("pages"); // true: broken table pages lose rows; false: an index misses entries
        QTest::newRow("broken pages") << true;
        QTest::newRow("index missing entries") << false;
    }

    void checkFindsDamageAndRepairRecoversIt()
    {
        QFETCH(bool, pages);
        constexpr int Count = 3000;
        writeLog(m_home->file(u"a.log"_s), 1, Count);
        QCOMPARE(import(m_home->file(u"a.log"_s)).status, 0);
        QCOMPARE(cli({u"check"_s}).status, 0);
        if (pages)
            damagePages();
        else
            dropIndexEntries();

        const CliRun check = cli({u"check"_s});
        QCOMPARE(check.status, 1);
        QVERIFY(check.err.contains(u"tessera-cli repair"_s));

        const CliRun repair = cli({u"repair"_s});
        QCOMPARE(repair.status, 0);
        QCOMPARE(QDir(m_home->dir.path()).entryList({u"log_damaged_*.mdb"_s}).size(), 1);
        QCOMPARE(cli({u"check"_s}).status, 0);
        const qint64 recovered = messageCount();
        QVERIFY(recovered > Count / 2);
        QCOMPARE(recovered < Count, pages);
        QVERIFY(!QFile::exists(database() + u"-journal"_s));
    }

    void repairWithoutTheSqliteToolChangesNothing()
    {
        const QByteArray before = readFile(database());
        const CliRun run = cli({u"repair"_s}, {{u"PATH"_s, m_home->dir.path()}});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"sqlite3"_s));
        QCOMPARE(readFile(database()), before);
    }

    // The program folder on a small file system that the import fills: the run ends at the
    // failure with status 1, names the cause, reports what was stored, and prints no line per entry.
    void aFullDiskEndsTheImportWithWhatWasStored()
    {
        QTemporaryDir logs;
        const QString big = logs.filePath(u"big.log"_s);
        const QString small = logs.filePath(u"small.log"_s);
        writeFile(big, LogFormat::sampleLog(1, 20000)); // about 5 MB of rows
        writeFile(small, LogFormat::sampleLog(30001, 30002));
        const SmallDisk disk(m_home->dir.path(), 1024);
        REQUIRE_MOUNTED(disk);
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made on the small disk

        const CliRun run = cli({u"--yes"_s, u"import"_s, Board, big, small});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.out.startsWith(u"インポートを中止しました。ディスクの空き容量が不足しています。"_s), qPrintable(run.out));
        QVERIFY2(run.out.endsWith(u"インポートできたのは%1件です。\n"_s.arg(messageCount())), qPrintable(run.out));
        QVERIFY2(!run.err.contains(small + u"のインポート中"_s), qPrintable(run.err)); // the run ended there
        QVERIFY2(run.err.count(u'\n') < 10, qPrintable(run.err));
    }

private:
    /** Overwrites the page header of three leaves of table Message: at a half, two thirds and three quarters. */
    void damagePages()
    {
        const QStringList leaves = sqliteTool(database(), u"SELECT pageno FROM dbstat WHERE name = 'Message'"
                                                          " AND pagetype = 'leaf' ORDER BY pageno"_s).split(u'\n');
        QVERIFY(leaves.size() > 12);
        QFile file(database());
        QVERIFY(file.open(QIODevice::ReadWrite));
        for (const qsizetype at : {leaves.size() / 2, leaves.size() * 2 / 3, leaves.size() * 3 / 4}) {
            QVERIFY(file.seek((leaves.at(at).toLongLong() - 1) * 4096));
            QCOMPARE(file.write(QByteArray(8, '\xff')), 8);
        }
    }

    /**
     * Leaves index Message_IDX1 as it was declared, but holding the entries of the first nine
     * messages only: every page reads, and SQLite's check lists the missing entries as its answer.
     */
    void dropIndexEntries()
    {
        bool ok = false;
        sqliteTool(database(), u"CREATE TEMP TABLE Declared AS SELECT sql FROM sqlite_schema WHERE name = 'Message_IDX1';"
                               " DROP INDEX Message_IDX1;"
                               " CREATE INDEX Message_IDX1 ON Message (RootThread) WHERE ID < 10;"
                               " PRAGMA writable_schema = ON;"
                               " UPDATE sqlite_schema SET sql = (SELECT sql FROM Declared) WHERE name = 'Message_IDX1';"_s,
                   &ok);
        QVERIFY(ok);
    }
};

QTEST_GUILESS_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
