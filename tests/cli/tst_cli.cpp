#include "app/mdlEncoding.h"
#include "cli/CliHome.h"
#include "db/mdlDatabase.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

QString settingsText(const QString &postName, int viewCount, int noReadPoint, int downloadCount)
{
    return u"PostName=%1\nMail=\nHomePage=\nPassword=\nViewCount=%2\nViewOrder=0\nNoReadView=0\n"
           "NoReadPoint=%3\nDownloadCount=%4\n"_s.arg(postName).arg(viewCount).arg(noReadPoint).arg(downloadCount);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;

    CliRun cli(const QStringList &args) const { return m_home->run(args); }
    CliRun settings(const QStringList &args) const { return m_home->run(QStringList{u"settings"_s} + args); }
    QString cookieFile() const { return m_home->file(u"cookies.txt"_s); }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }
    void init() { m_home.emplace(); }

    void boardsOnAFirstRun()
    {
        const CliRun run = cli({u"boards"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(u"データベースファイルが存在しません。"_s));
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 16);
        QVERIFY(lines.first().startsWith(u"3\t0\t3\tTrue\t0\t"_s));
        for (const QString &line : lines)
            QCOMPARE(line.count(u'\t'), 5);
        QFile ini(m_home->file(u"tessera.ini"_s));
        QVERIFY(ini.open(QIODevice::ReadOnly) && ini.readAll().contains("\nBBS_ID=3"));
    }

    // Unread counts, a hidden board first, tabs in names; then compact keeps the data.
    void boardsAndCompactOnAStoredLog()
    {
        {
            auto db = mdlDatabase::CreateLogDatabase(m_home->file(u"log.mdb"_s));
            QVERIFY(db);
            const QString insert = u"INSERT INTO Message VALUES(4, %1, %2, 's', '', '', 'n', #2024/01/01 00:00#, 0, 'b', %1, 0)"_s;
            for (int id = 1; id <= 3; ++id)
                QVERIFY(db->Execute(insert.arg(id).arg(id == 2 ? u"True"_s : u"False"_s)));
            QVERIFY(db->Execute(u"UPDATE BBS SET ListOrder = -1, VisitLoad = False, BBS_Name = 'a\tb' WHERE BBS_ID = 5"_s));
        }
        const CliRun compact = cli({u"--no"_s, u"compact"_s});
        QVERIFY(compact.status == 0 && compact.out.isEmpty());
        QCOMPARE(QDir(m_home->dir.path()).entryList({u"TSR*"_s}), QStringList());
        const CliRun run = cli({u"--no"_s, u"boards"_s});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), u"5\t-1\t0\tFalse\t0\ta b"_s);
        QVERIFY(lines.at(3).startsWith(u"4\t2\t0\tTrue\t2\t"_s));
        // --no declined the folders: they are not made, and the run still succeeds.
        QVERIFY(!QDir(m_home->file(u"cache"_s)).exists());
    }

    void failuresAndUsageErrors()
    {
        for (const QStringList &args : {QStringList{}, {u"nothing"_s}, {u"boards"_s, u"x"_s}, {u"compact"_s, u"x"_s}}) {
            const CliRun run = cli(args);
            QVERIFY(run.status == 2 && run.err.contains(u"usage"_s));
        }
        QVERIFY(!QFile::exists(m_home->file(u"log.mdb"_s)));
        for (const auto &[name, bytes] : {std::pair(u"log.mdb"_s, "no database"), std::pair(u"log.bak"_s, "older")}) {
            QFile file(m_home->file(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) > 0);
        }
        for (const QString &command : {u"boards"_s, u"compact"_s}) {
            const CliRun run = cli({command});
            QCOMPARE(run.status, 1);
            QVERIFY(run.out.isEmpty() && run.err.contains(u"プログラムを終了します。"_s));
        }
        QVERIFY(!QFile::exists(m_home->file(u"tessera.ini"_s)));
    }

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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
