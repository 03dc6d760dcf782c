#include "cli/CliHome.h"
#include "db/Database.h"
#include "support/LogFormat.h"
#include "support/OtherProcess.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtEndian>

using namespace Qt::StringLiterals;

// Two tessera-cli processes on one program folder, processes killed in the middle of their
// work, and a damaged database file: what was reported as stored must stay stored.

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

} // namespace

class TestCliSafety : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;

    QString database() const { return m_home->file(u"log.mdb"_s); }
    CliRun cli(const QStringList &args) const { return m_home->run(args); }

    /** Starts tessera-cli in the background on the test's folder. */
    void start(QProcess &process, const QStringList &args) const
    {
        process.start(CliHome::program(), QStringList{u"--home"_s, m_home->dir.path(), u"--yes"_s} + args);
        QVERIFY(process.waitForStarted());
    }

    /** Rows of table Message, read as another program would; -1 when the file cannot be read. */
    qint64 messageCount() const
    {
        std::unique_ptr<Database> db = Database::Open(database());
        const std::optional<Recordset> rs = db ? db->OpenRecordset(u"SELECT count(*) FROM Message"_s) : std::nullopt;
        return rs ? rs->Value(0, 0).toLongLong() : -1;
    }

    QString integrity() const
    {
        std::unique_ptr<Database> db = Database::Open(database());
        const std::optional<QStringList> check = db ? db->IntegrityCheck() : std::nullopt;
        return check ? check->join(u'\n') : u"unreadable"_s;
    }

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
        QProcess import;
        start(import, {u"import"_s, Board, m_home->file(u"big.log"_s)});
        int queries = 0;
        QStringList failures;
        while (import.state() != QProcess::NotRunning) {
            const CliRun run = cli({u"query"_s, u"SELECT count(*) FROM Message"_s});
            ++queries;
            if (run.status != 0)
                failures.append(run.err);
        }
        QVERIFY(queries > 3);
        QCOMPARE(failures, QStringList());
        QCOMPARE(import.exitCode(), 0);
        QVERIFY(!backupExists());
        QCOMPARE(messageCount(), Count);
        QCOMPARE(integrity(), u"ok"_s);
    }

    void killedImportsKeepEveryCommittedRow()
    {
        constexpr int Rounds = 5;
        constexpr int Committed = 1000;
        constexpr int Killed = 20000;
        qint64 kept = 0;
        for (int round = 0; round < Rounds; ++round) {
            const int first = 1 + round * (Committed + Killed);
            writeLog(m_home->file(u"committed.log"_s), first, Committed);
            QCOMPARE(cli({u"--yes"_s, u"import"_s, Board, m_home->file(u"committed.log"_s)}).status, 0);
            kept = messageCount();
            QVERIFY(kept >= (round + 1) * Committed);

            // Killed in the middle of its commit (odd rounds) or after a random short delay.
            writeLog(m_home->file(u"killed.log"_s), first + Committed, Killed);
            QProcess import;
            start(import, {u"import"_s, Board, m_home->file(u"killed.log"_s)});
            if (round % 2 == 1)
                waitForCommitWriting(import);
            else
                QTest::qWait(500 + QRandomGenerator::global()->bounded(1500));
            import.kill(); // SIGKILL
            import.waitForFinished();

            const CliRun next = cli({u"boards"_s});
            QVERIFY2(next.status == 0, qPrintable(next.err));
            QVERIFY(!backupExists());
            QVERIFY(messageCount() >= kept);
            QCOMPARE(integrity(), u"ok"_s);
        }
    }

    void compactionBesideAnImportChangesNothing()
    {
        constexpr int Count = 20000;
        writeLog(m_home->file(u"big.log"_s), 1, Count);
        QProcess import;
        start(import, {u"import"_s, Board, m_home->file(u"big.log"_s)});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(database() + u"-journal"_s); }, 60000));
        QFile::remove(database() + u".lock"_s); // a user's deletion changes nothing
        const CliRun compact = cli({u"compact"_s});
        QCOMPARE(compact.status, 1);
        QVERIFY(compact.err.contains(u"他のプロセス"_s));
        QVERIFY(import.waitForFinished(60000));
        QCOMPARE(import.exitCode(), 0);
        QCOMPARE(messageCount(), Count);
    }

    void openingWaitsForACompactionInProgress()
    {
        std::optional<OtherProcess> compaction(std::in_place, database(), true);
        QVERIFY(compaction->held);
        QProcess query;
        start(query, {u"query"_s, u"SELECT count(*) FROM Message"_s});
        QVERIFY(!query.waitForFinished(1500));
        compaction.reset();
        QVERIFY(query.waitForFinished(10000));
        QCOMPARE(query.exitCode(), 0);
    }

    void runawayStatementsEndAsErrors_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("ATTACH") << u"ATTACH 'other.mdb' AS other"_s;
        QTest::newRow("VACUUM") << u"VACUUM"_s;
        QTest::newRow("BEGIN") << u"BEGIN"_s;
    }

    void runawayStatementsEndAsErrors()
    {
        QFETCH(QString, sql);
        QCOMPARE(cli({u"query"_s, sql}).status, 1);
    }

    void checkFindsADamagedFileAndRepairRecoversIt()
    {
        constexpr int Count = 3000;
        writeLog(m_home->file(u"a.log"_s), 1, Count);
        QCOMPARE(cli({u"--yes"_s, u"import"_s, Board, m_home->file(u"a.log"_s)}).status, 0);
        QCOMPARE(cli({u"check"_s}).status, 0);
        damagePages();

        const CliRun check = cli({u"check"_s});
        QCOMPARE(check.status, 1);
        QVERIFY(check.err.contains(u"tessera-cli repair"_s));

        const CliRun repair = cli({u"repair"_s});
        QVERIFY2(repair.status == 0, qPrintable(repair.err));
        QCOMPARE(QDir(m_home->dir.path()).entryList({u"log_damaged_*.mdb"_s}).size(), 1);
        QCOMPARE(cli({u"check"_s}).status, 0);
        const qint64 recovered = messageCount();
        QVERIFY(recovered > Count / 2);
        QVERIFY(recovered < Count);
        QVERIFY(!QFile::exists(database() + u"-journal"_s));
    }

    // A file set aside under another name is repaired by that name, found in the program folder.
    void repairTakesAFileName()
    {
        writeLog(m_home->file(u"a.log"_s), 1, 100);
        QCOMPARE(cli({u"--yes"_s, u"import"_s, Board, m_home->file(u"a.log"_s)}).status, 0);
        QVERIFY(QFile::rename(database(), m_home->file(u"log.bak"_s)));
        QFile file(m_home->file(u"log.bak"_s));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(QByteArray(16, '\0')), 16);
        file.close();
        const CliRun repair = cli({u"repair"_s, u"log.bak"_s});
        QVERIFY2(repair.out.contains(u"記事 100 件を復旧しました。"_s), qPrintable(repair.err));
    }

    void repairWithoutTheSqliteToolChangesNothing()
    {
        const QByteArray before = [&] {
            QFile file(database());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PATH"_s, m_home->dir.path());
        process.setProcessEnvironment(environment);
        process.start(CliHome::program(), {u"--home"_s, m_home->dir.path(), u"repair"_s});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(u"sqlite3"_s));
        QFile file(database());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == before);
    }

private:
    /** Overwrites the page header of three leaves of table Message: at a half, two thirds and three quarters. */
    void damagePages()
    {
        QList<qint64> leaves;
        {
            std::unique_ptr<Database> db = Database::Open(database());
            QVERIFY(db);
            std::optional<Recordset> rs = db->OpenRecordset(
                u"SELECT pageno FROM dbstat WHERE name = 'Message' AND pagetype = 'leaf' ORDER BY pageno"_s);
            QVERIFY(rs);
            for (; !rs->IsEOF(); rs->MoveNext())
                leaves.append(rs->Value(0).toLongLong());
        }
        QVERIFY(leaves.size() > 12);
        QFile file(database());
        QVERIFY(file.open(QIODevice::ReadWrite));
        for (const qsizetype at : {leaves.size() / 2, leaves.size() * 2 / 3, leaves.size() * 3 / 4}) {
            QVERIFY(file.seek((leaves.at(at) - 1) * 4096));
            QCOMPARE(file.write(QByteArray(8, '\xff')), 8);
        }
    }
};

QTEST_GUILESS_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
