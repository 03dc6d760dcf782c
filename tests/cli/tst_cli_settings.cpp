#include "app/mdlEncoding.h"
#include "cli/CliHome.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

QString settingsText(const QString &postName, int viewCount, int noReadPoint, int downloadCount)
{
    return u"PostName=%1\nMail=\nHomePage=\nPassword=\nViewCount=%2\nViewOrder=0\nNoReadView=0\n"
           "NoReadPoint=%3\nDownloadCount=%4\n"_s.arg(postName).arg(viewCount).arg(noReadPoint).arg(downloadCount);
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

    void commaBoardsWrittenAndKept()
    {
        QCOMPARE(settings({u"4"_s}).out, settingsText({}, 20, 0, 30));
        const CliRun run = settings({u"4"_s, u"PostName=山田～太郎"_s, u"noreadpoint=120"_s, u"DownloadCount= 40"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText(u"山田～太郎"_s, 20, 120, 40));
        QCOMPARE(settings({u"4"_s}).out, run.out);
        // The board's cookie is named after its address and holds CP932 bytes.
        QFile file(cookieFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("/zatsudan.cgi\t" + mdlMain::ToCp932(u"山田～太郎"_s) + ",,,,20,,,120,40\n"));
        QCOMPARE(settings({u"14"_s}).out, settingsText({}, 30, 0, 50));
    }

    // A type-3 board without its own cookie keeps nothing, and the command says so.
    void settingNotStored()
    {
        const CliRun run = settings({u"3"_s, u"DownloadCount=5"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"DownloadCount was not stored as given"_s));
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));
    }

    void badArguments()
    {
        for (const QStringList &args : {QStringList{}, {u"4"_s, u"Foo=1"_s}, {u"4"_s, u"PostName"_s},
                                        {u"4"_s, u"PostName=a"_s, u"ViewCount=many"_s}})
            QCOMPARE(settings(args).status, 2);
        const CliRun run = settings({u"999"_s, u"PostName=a"_s});
        QVERIFY(run.status == 1 && run.err.contains(u"no board 999"_s));
        QVERIFY(!QFile::exists(cookieFile()));
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_cli_settings.moc"
