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

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QString m_cli;
    std::unique_ptr<QTemporaryDir> m_home;

    QString homeFile(const QString &name) const { return m_home->filePath(name); }

    Run cli(const QStringList &args)
    {
        QProcess process;
        process.start(m_cli, QStringList{u"--home"_s, m_home->path()} + args);
        Run run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase()
    {
        // The test programs are built in build/tests, tessera-cli in build/src.
        m_cli = QDir(QCoreApplication::applicationDirPath() + u"/../src"_s).filePath(u"tessera-cli"_s);
        QVERIFY2(QFile::exists(m_cli), qPrintable(u"build tessera-cli first: "_s + m_cli));
    }

    void init() { m_home = std::make_unique<QTemporaryDir>(); }

    void boardsOnAFirstRun()
    {
        const Run run = cli({u"boards"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(u"データベースファイルが存在しません。"_s));
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 16);
        QVERIFY(lines.first().startsWith(u"3\t0\t3\tTrue\t0\t"_s));
        QVERIFY(lines.at(1).startsWith(u"16\t1\t0\tTrue\t0\t"_s));
        for (const QString &line : lines)
            QCOMPARE(line.count(u'\t'), 5);
        QFile ini(homeFile(u"tessera.ini"_s));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray settings = ini.readAll();
        QVERIFY(settings.contains("[WebSearch]") && settings.contains("\nBBS_ID=3"));
    }

    void boardsWithUnreadAndHiddenBoards()
    {
        {
            auto db = mdlDatabase::CreateLogDatabase(homeFile(u"log.mdb"_s));
            QVERIFY(db);
            const QString insert = u"INSERT INTO Message VALUES(4, %1, %2, 's', '', '', 'n', #2024/01/01 00:00#, 0, 'b', %1, 0)"_s;
            for (int id = 1; id <= 3; ++id)
                QVERIFY(db->Execute(insert.arg(id).arg(id == 2 ? u"True"_s : u"False"_s)));
            QVERIFY(db->Execute(u"UPDATE BBS SET ListOrder = -1, VisitLoad = False, BBS_Name = 'a\tb' WHERE BBS_ID = 5"_s));
        }
        const Run run = cli({u"--no"_s, u"boards"_s});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 16);
        QCOMPARE(lines.first(), u"5\t-1\t0\tFalse\t0\ta b"_s);
        QVERIFY(lines.at(3).startsWith(u"4\t2\t0\tTrue\t2\t"_s));
        // --no declined the folders: they are not made, and the run still succeeds.
        QVERIFY(!QDir(homeFile(u"cache"_s)).exists());
    }

    void databaseFailure()
    {
        writeFile(homeFile(u"log.mdb"_s), "no database");
        writeFile(homeFile(u"log.bak"_s), "older backup");
        for (const QString &command : {u"boards"_s, u"compact"_s}) {
            const Run run = cli({command});
            QCOMPARE(run.status, 1);
            QVERIFY(run.out.isEmpty());
            QVERIFY(run.err.contains(u"プログラムを終了します。"_s));
        }
        QVERIFY(!QFile::exists(homeFile(u"tessera.ini"_s)));
    }

    void compactKeepsTheData()
    {
        QCOMPARE(cli({u"boards"_s}).status, 0);
        {
            auto db = mdlDatabase::OpenLogDatabase(homeFile(u"log.mdb"_s));
            QVERIFY(db && db->Execute(u"UPDATE BBS SET BBS_Name = 'kept' WHERE BBS_ID = 7"_s));
        }
        const Run run = cli({u"compact"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.isEmpty());
        QVERIFY(cli({u"boards"_s}).out.contains(u"\tkept\n"_s));
        QCOMPARE(QDir(m_home->path()).entryList({u"TSR*"_s}), QStringList());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{u"nothing"_s};
        QTest::newRow("boards with an argument") << QStringList{u"boards"_s, u"x"_s};
        QTest::newRow("compact with an argument") << QStringList{u"compact"_s, u"x"_s};
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        const Run run = cli(args);
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.contains(u"usage"_s));
        QVERIFY(!QFile::exists(homeFile(u"log.mdb"_s)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
