#include "cli/CliHome.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

/** tessera-cli's own options --version and --help. */
class TestCliOptions : public QObject
{
    Q_OBJECT

private slots:
    void versionHasTheRevision()
    {
        CliHome home;
        const CliRun run = home.run({u"--version"_s});
        QCOMPARE(run.status, 0);
        QVERIFY2(QRegularExpression(u"^Tessera Ver\\.\\d+\\.\\d\\d\\.\\d{4}\\n$"_s).match(run.out).hasMatch(),
                 qPrintable(run.out));
        QVERIFY(!QFile::exists(home.file(u"log.mdb"_s))); // answered without opening the database
    }

    void versionAfterTheCommandIsTheCommandsArgument()
    {
        CliHome home;
        const CliRun run = home.run({u"boards"_s, u"--version"_s});
        QCOMPARE(run.status, 2); // boards takes no arguments: a usage error, not the version
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_cli_options.moc"
