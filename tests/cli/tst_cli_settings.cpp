#include "app/mdlEncoding.h"
#include "db/CookieStore.h"
#include "db/mdlDatabase.h"

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
           "NoReadPoint=%3\nDownloadCount=%4\n"_s.arg(postName).arg(viewCount).arg(noReadPoint).arg(downloadCount);
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
        process.start(m_cli, QStringList{u"--home"_s, m_home->path(), u"settings"_s} + args);
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
        m_cli = QDir(QCoreApplication::applicationDirPath() + u"/../src"_s).filePath(u"tessera-cli"_s);
        QVERIFY2(QFile::exists(m_cli), qPrintable(u"build tessera-cli first: "_s + m_cli));
    }

    void init() { m_home = std::make_unique<QTemporaryDir>(); }

    void commaBoardsWrittenAndKept()
    {
        Run run = cli({u"4"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));

        run = cli({u"4"_s, u"PostName=山田～太郎"_s, u"noreadpoint=120"_s, u"DownloadCount= 40"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText(u"山田～太郎"_s, 20, 120, 40));
        QCOMPARE(cli({u"4"_s}).out, run.out);

        // The board's cookie is named after its address and holds CP932 bytes.
        QFile file(cookieFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(
            "/zatsudan.cgi\t" + mdlMain::ToCp932(u"山田～太郎"_s) + ",,,,20,,,120,40\n"));

        // The two boards of a pair share one list, each with its own unread position.
        QCOMPARE(cli({u"14"_s, u"NoReadPoint=900"_s}).out, settingsText({}, 30, 900, 50));
        QCOMPARE(cli({u"13"_s, u"NoReadPoint=300"_s}).out, settingsText({}, 30, 300, 50));
        QCOMPARE(cli({u"14"_s}).out, settingsText({}, 30, 900, 50));
    }

    void keyedBoard()
    {
        // Without the board's own cookie nothing can be stored, and the command says so.
        Run run = cli({u"3"_s, u"DownloadCount=5"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"DownloadCount was not stored as given"_s));
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));
        {
            CookieStore store(cookieFile());
            QVERIFY(store.SetCookie(mdlDatabase::DefaultBoard3URL(), u"nandemo"_s,
                                    u"ck_name%3D%26ck_articles%3D30%26ck_text%3D30; expires=Fri, 01-Jan-2100 00:00:00 GMT"_s));
        }
        run = cli({u"3"_s, u"DownloadCount=5"_s, u"PostName=名前"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText(u"名前"_s, 30, 0, 5));
        QCOMPARE(CookieStore(cookieFile()).GetCookie(mdlDatabase::DefaultBoard3URL()),
                 u"nandemo=ck_name%3D%CC%BE%C1%B0%26ck_articles%3D30%26ck_text%3D5"_s);
    }

    void badArguments()
    {
        for (const QStringList &args : {QStringList{}, QStringList{u"x"_s}, QStringList{u"4"_s, u"Foo=1"_s},
                                        QStringList{u"4"_s, u"PostName=a"_s, u"ViewCount=many"_s},
                                        QStringList{u"4"_s, u"PostName"_s}})
            QCOMPARE(cli(args).status, 2);
        QVERIFY(!QFile::exists(cookieFile()));
        const Run run = cli({u"999"_s, u"PostName=a"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"no board 999"_s));
        QVERIFY(!QFile::exists(cookieFile()));
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_cli_settings.moc"
