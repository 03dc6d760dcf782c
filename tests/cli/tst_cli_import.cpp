#include "db/Database.h"
#include "support/LogFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int Board = 4; // 雑談掲示板, identifier "zatsudan"

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

QString fixture(const QString &name)
{
    return QStringLiteral(TESSERA_TEST_DATA) + u"/import/"_s + name;
}

} // namespace

class TestCliImport : public QObject
{
    Q_OBJECT

    QString m_cli;
    std::unique_ptr<QTemporaryDir> m_home;

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

    /** The stored messages of board 4 as "ID:Read". */
    QStringList stored()
    {
        std::unique_ptr<Database> db = Database::Open(m_home->filePath(u"log.mdb"_s));
        std::optional<Recordset> rows =
            db ? db->OpenRecordset(u"SELECT ID, Read FROM Message WHERE BBS_ID = 4 ORDER BY ID"_s) : std::nullopt;
        QStringList out;
        for (; rows && !rows->IsEOF(); rows->MoveNext())
            out.append(rows->Value(0).toString() + u':' + (rows->Value(1).toBool() ? u"True"_s : u"False"_s));
        return out;
    }

private slots:
    void initTestCase()
    {
        m_cli = QDir(QCoreApplication::applicationDirPath() + u"/../src"_s).filePath(u"tessera-cli"_s);
        QVERIFY2(QFile::exists(m_cli), qPrintable(u"build tessera-cli first: "_s + m_cli));
    }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made
    }

    void importsWithTheReadModeOptionAndPrintsTheOutcome()
    {
        QFile ini(m_home->filePath(u"tessera.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Option]\r\nImportReadMode=True\r\n");
        ini.close();
        const Run first = cli({u"--yes"_s, u"import"_s, QString::number(Board), fixture(u"one.lzh"_s),
                               fixture(u"first.log"_s)});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out, u"5件インポートしました。\n"_s);
        QVERIFY(first.err.contains(u"雑談掲示板に下記のファイルをインポートします。"_s));
        QVERIFY(first.err.contains(fixture(u"one.lzh"_s) + u"のインポート中...(1/2)"_s));
        QVERIFY(first.err.contains(fixture(u"first.log"_s) + u"から2件インポートしました。"_s));
        QCOMPARE(stored(), QStringList({u"1:True"_s, u"2:True"_s, u"3:True"_s, u"11:True"_s, u"12:True"_s}));

        const Run again = cli({u"--yes"_s, u"import"_s, QString::number(Board), fixture(u"one.lzh"_s)});
        QCOMPARE(again.status, 0);
        QCOMPARE(again.out, u"インポートできるログはありませんでした。\n"_s);
    }

    void failedFilesGiveStatusOne()
    {
        BoardMessage broken = LogFormat::sampleMessage(8);
        broken.rawEntry = u"壊れた記事"_s;
        const QString brokenLog = m_home->filePath(u"broken.log"_s);
        QFile file(brokenLog);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(LogFormat::toCp932(LogFormat::log(0, {broken, LogFormat::sampleMessage(7)})));
        file.close();
        const QString missing = m_home->filePath(u"missing.log"_s);
        const Run run = cli({u"--yes"_s, u"import"_s, QString::number(Board), missing, brokenLog});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"1件インポートしました。\n"_s);
        QVERIFY(run.err.contains(missing + u"が見つからないため、インポートできませんでした。"_s));
        QVERIFY(run.err.contains(u"0件目のログが壊れていました。"_s));
        QFile errorLog(m_home->filePath(u"zatsudan.bad"_s)); // the board's error log
        QVERIFY(errorLog.open(QIODevice::ReadOnly));
        QVERIFY(errorLog.readAll().startsWith(LogFormat::toCp932(u"壊れた記事"_s + LogFormat::separator())));
        QCOMPARE(stored(), QStringList{u"7:False"_s});
    }

    void declinedImportStoresNothing()
    {
        const QString path = m_home->filePath(u"shitsumon-2001.log"_s); // another board's name
        QVERIFY(QFile::copy(fixture(u"first.log"_s), path));
        const Run asked = cli({u"import"_s, QString::number(Board), path}); // the warning defaults to No
        QCOMPARE(asked.status, 1);
        QVERIFY(asked.err.contains(u"質問掲示板用のログファイルと思われるファイルが指定されています。"_s));
        QVERIFY(asked.out.isEmpty());
        QCOMPARE(cli({u"--no"_s, u"import"_s, QString::number(Board), fixture(u"one.lzh"_s)}).status, 1);
        QVERIFY(stored().isEmpty());
    }

    void aKilledImportLeavesAConsistentDatabaseThatASecondImportCompletes()
    {
        constexpr int Count = 50000;
        QList<BoardMessage> messages;
        for (int n = Count; n >= 1; --n)
            messages.append(LogFormat::sampleMessage(n));
        const QString path = m_home->filePath(u"big.log"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(LogFormat::toCp932(LogFormat::log(0, messages)));
        file.close();

        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(m_cli, {u"--home"_s, m_home->path(), u"--yes"_s, u"import"_s, QString::number(Board), path});
        QByteArray err;
        while (!err.contains("(1/1)") && process.waitForReadyRead(60000))
            err += process.readAllStandardError();
        QTest::qWait(200);
        process.kill(); // while the messages are being stored
        process.waitForFinished();

        std::unique_ptr<Database> db = Database::Open(m_home->filePath(u"log.mdb"_s));
        QVERIFY(db);
        QCOMPARE(db->OpenRecordset(u"PRAGMA integrity_check"_s)->Value(0, 0).toString(), u"ok"_s);
        db.reset();
        QVERIFY(stored().size() < Count);
        QCOMPARE(cli({u"--yes"_s, u"import"_s, QString::number(Board), path}).status, 0);
        QCOMPARE(stored().size(), Count);
    }

    void badArguments()
    {
        QCOMPARE(cli({u"--yes"_s, u"import"_s, QString::number(Board)}).status, 2);
        QCOMPARE(cli({u"--yes"_s, u"import"_s, u"x"_s, fixture(u"one.lzh"_s)}).status, 2);
        const Run noBoard = cli({u"--yes"_s, u"import"_s, u"999"_s, fixture(u"one.lzh"_s)});
        QCOMPARE(noBoard.status, 1);
        QVERIFY(noBoard.err.contains(u"no board 999"_s));
    }
};

QTEST_GUILESS_MAIN(TestCliImport)
#include "tst_cli_import.moc"
