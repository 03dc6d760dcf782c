#include "app/mdlEncoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

QString settingsText(const QString &postName, int viewCount, int noReadPoint, int downloadCount)
{
    return u"PostName=%1\nMail=\nHomePage=\nPassword=\nViewCount=%2\nViewOrder=0\nNoReadView=0\n"
           "NoReadPoint=%3\nDownloadCount=%4\n"_s.arg(postName)
               .arg(viewCount)
               .arg(noReadPoint)
               .arg(downloadCount);
}

} // namespace

class TestCliSettings : public QObject
{
    Q_OBJECT

    QString m_cli;
    std::unique_ptr<QTemporaryDir> m_home;

    QString cookieFile() const { return m_home->filePath(u"cookies.txt"_s); }

    Run cli(const QStringList &args)
    {
        QProcess process;
        process.start(m_cli, QStringList { u"--home"_s, m_home->path(), u"settings"_s } + args);
        Run run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        m_cli = QDir(QCoreApplication::applicationDirPath() + u"/../src"_s)
                    .filePath(u"tessera-cli"_s);
        QVERIFY2(QFile::exists(m_cli), qPrintable(u"build tessera-cli first: "_s + m_cli));
    }

    void init() { m_home = std::make_unique<QTemporaryDir>(); }

    void commaBoardsWrittenAndKept()
    {
        Run run = cli({ u"4"_s });
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));

        run = cli(
            { u"4"_s, u"PostName=山田～太郎"_s, u"noreadpoint=120"_s, u"DownloadCount= 40"_s });
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText(u"山田～太郎"_s, 20, 120, 40));
        QCOMPARE(cli({ u"4"_s }).out, run.out);

        // The board's cookie is named after its address and holds CP932 bytes.
        QFile file(cookieFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(
            "/zatsudan.cgi\t" + mdlMain::ToCp932(u"山田～太郎"_s) + ",,,,20,,,120,40\n"));
        QCOMPARE(cli({ u"14"_s }).out, settingsText({}, 30, 0, 50));
    }

    void settingNotStored()
    {
        // A type-3 board without its own cookie keeps nothing, and the command says so.
        Run run = cli({ u"3"_s, u"DownloadCount=5"_s });
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"DownloadCount was not stored as given"_s));
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));
    }

    void badArguments()
    {
        for (const QStringList &args :
            { QStringList {}, QStringList { u"x"_s }, QStringList { u"4"_s, u"Foo=1"_s },
                QStringList { u"4"_s, u"PostName=a"_s, u"ViewCount=many"_s },
                QStringList { u"4"_s, u"PostName"_s } })
            QCOMPARE(cli(args).status, 2);
        QVERIFY(!QFile::exists(cookieFile()));
        const Run run = cli({ u"999"_s, u"PostName=a"_s });
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"no board 999"_s));
        QVERIFY(!QFile::exists(cookieFile()));
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_cli_settings.moc"
