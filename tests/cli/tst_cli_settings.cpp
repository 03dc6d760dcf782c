#include "cli/CliHome.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

/** The value of line "Name=..." in the output of the settings command. */
QString setting(const CliRun &run, const QString &name)
{
    for (const QString &line : run.out.split(u'\n')) {
        if (line.startsWith(name + u'='))
            return line.mid(name.size() + 1);
    }
    return u"<missing>"_s;
}

} // namespace

class TestCliSettings : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;

    CliRun settings(const QStringList &args) const { return m_home->run(QStringList{u"settings"_s} + args); }
    QString cookieFile() const { return m_home->file(u"cookies.txt"_s); }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }
    void init() { m_home.emplace(); }

    // A "," would shift every later setting of the board's comma list: refused, nothing written.
    void commaInAListSettingIsRefused()
    {
        QCOMPARE(settings({u"4"_s, u"PostName=Taro"_s, u"Password=secret"_s, u"NoReadPoint=120"_s}).status, 0);
        const QByteArray before = readFile(cookieFile());
        const CliRun run = settings({u"4"_s, u"DownloadCount=40"_s, u"PostName=Taro, Jr."_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"「,」"_s), qPrintable(run.err));
        QCOMPARE(readFile(cookieFile()), before);
        const CliRun after = settings({u"4"_s});
        QCOMPARE(setting(after, u"Password"_s), u"secret"_s);
        QCOMPARE(setting(after, u"NoReadPoint"_s), u"120"_s);
        QCOMPARE(setting(after, u"DownloadCount"_s), u"30"_s);
    }

    // Two processes writing settings of different boards at once: both updates are kept.
    void concurrentWritersOfDifferentBoardsKeepBoth()
    {
        QCOMPARE(settings({u"4"_s}).status, 0); // makes the log database first
        for (int round = 0; round < 8; ++round) {
            QList<QProcess *> processes;
            for (const QString &board : {u"4"_s, u"5"_s}) {
                auto *process = new QProcess(this);
                process->start(CliHome::program(), {u"--home"_s, m_home->dir.path(), u"settings"_s, board,
                                                    u"PostName=b%1r%2"_s.arg(board).arg(round)});
                processes.append(process);
            }
            for (QProcess *process : processes) {
                QVERIFY(process->waitForFinished(60000));
                QCOMPARE(process->exitCode(), 0);
                delete process;
            }
            QCOMPARE(setting(settings({u"4"_s}), u"PostName"_s), u"b4r%1"_s.arg(round));
            QCOMPARE(setting(settings({u"5"_s}), u"PostName"_s), u"b5r%1"_s.arg(round));
        }
    }

    // A cookie file beyond the size the store reads is left alone, and the command says so.
    void oversizedCookieFileFails()
    {
        QCOMPARE(settings({u"4"_s}).status, 0);
        QFile file(cookieFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(256ll * 1024 * 1024 + 1)); // sparse: costs no disk
        file.close();
        const CliRun run = settings({u"4"_s, u"PostName=x"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"cookies.txt"_s), qPrintable(run.err));
        QCOMPARE(QFileInfo(cookieFile()).size(), 256ll * 1024 * 1024 + 1);
    }

    // On a full disk the settings file and the cookie file keep their old bytes; exit 1.
    void aFullDiskKeepsTheSettingsFiles()
    {
        SmallDisk disk(m_home->dir.path(), 2048);
        REQUIRE_MOUNTED(disk);
        QCOMPARE(m_home->run({u"--no"_s, u"boards"_s}).status, 0);
        QCOMPARE(settings({u"4"_s, u"PostName=a"_s, u"Password=secret"_s}).status, 0);
        const QByteArray ini = readFile(m_home->file(u"tessera.ini"_s));
        const QByteArray cookies = readFile(cookieFile());
        QVERIFY(disk.fill());

        const CliRun boards = m_home->run({u"--no"_s, u"boards"_s});
        QCOMPARE(boards.status, 1);
        QVERIFY2(boards.err.contains(u"ディスクの空き容量が不足しています。"_s), qPrintable(boards.err));
        QCOMPARE(readFile(m_home->file(u"tessera.ini"_s)), ini);

        const CliRun run = settings({u"4"_s, u"PostName=%1"_s.arg(QString(3000, u'x'))});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"ディスクの空き容量が不足しています。"_s), qPrintable(run.err));
        QCOMPARE(run.out, QString());
        QCOMPARE(readFile(cookieFile()), cookies);
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_cli_settings.moc"
