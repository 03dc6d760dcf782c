#include "cli/CliHome.h"
#include "db/Database.h"
#include "support/LogFormat.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

const QString Board = u"4"_s; // 雑談掲示板, identifier "zatsudan"

QString fixture(const QString &name)
{
    return QStringLiteral(TESSERA_TEST_DATA) + u"/import/"_s + name;
}

} // namespace

class TestCliImport : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;

    CliRun cli(const QStringList &args) const { return m_home->run(args); }

    /** The stored messages of board 4 as "ID:Read". */
    QStringList stored()
    {
        std::unique_ptr<Database> db = Database::Open(m_home->file(u"log.mdb"_s));
        std::optional<Recordset> rows =
            db ? db->OpenRecordset(u"SELECT ID, Read FROM Message WHERE BBS_ID = 4 ORDER BY ID"_s) : std::nullopt;
        QStringList out;
        for (; rows && !rows->IsEOF(); rows->MoveNext())
            out.append(rows->Value(0).toString() + u':' + (rows->Value(1).toBool() ? u"True"_s : u"False"_s));
        return out;
    }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }

    void init()
    {
        m_home.emplace();
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made
    }

    void importsWithTheReadModeOptionAndPrintsTheOutcome()
    {
        QFile ini(m_home->file(u"tessera.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Option]\r\nImportReadMode=True\r\n");
        ini.close();
        const CliRun first = cli({u"--yes"_s, u"import"_s, Board, fixture(u"one.lzh"_s),
                               fixture(u"first.log"_s)});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out, u"5件インポートしました。\n"_s);
        QVERIFY(first.err.contains(u"雑談掲示板に下記のファイルをインポートします。"_s));
        QVERIFY(first.err.contains(fixture(u"one.lzh"_s) + u"のインポート中...(1/2)"_s));
        QVERIFY(first.err.contains(fixture(u"first.log"_s) + u"から2件インポートしました。"_s));
        QCOMPARE(stored(), QStringList({u"1:True"_s, u"2:True"_s, u"3:True"_s, u"11:True"_s, u"12:True"_s}));

        const CliRun again = cli({u"--yes"_s, u"import"_s, Board, fixture(u"one.lzh"_s)});
        QCOMPARE(again.status, 0);
        QCOMPARE(again.out, u"インポートできるログはありませんでした。\n"_s);
    }

    void failedFilesGiveStatusOne()
    {
        BoardMessage broken = LogFormat::sampleMessage(8);
        broken.rawEntry = u"壊れた記事"_s;
        const QString brokenLog = m_home->file(u"broken.log"_s);
        QFile file(brokenLog);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(LogFormat::toCp932(LogFormat::log(0, {broken, LogFormat::sampleMessage(7)})));
        file.close();
        const QString missing = m_home->file(u"missing.log"_s);
        const CliRun run = cli({u"--yes"_s, u"import"_s, Board, missing, brokenLog});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"1件インポートしました。\n"_s);
        QVERIFY(run.err.contains(missing + u"が見つからないため、インポートできませんでした。"_s));
        QVERIFY(run.err.contains(u"0件目のログが壊れていました。"_s));
        QFile errorLog(m_home->file(u"zatsudan.bad"_s)); // the board's error log
        QVERIFY(errorLog.open(QIODevice::ReadOnly));
        QVERIFY(errorLog.readAll().startsWith(LogFormat::toCp932(u"壊れた記事"_s + LogFormat::separator())));
        QCOMPARE(stored(), QStringList{u"7:False"_s});
    }

    void declinedImportStoresNothing()
    {
        const QString path = m_home->file(u"shitsumon-2001.log"_s); // another board's name
        QVERIFY(QFile::copy(fixture(u"first.log"_s), path));
        const CliRun asked = cli({u"import"_s, Board, path}); // the warning defaults to No
        QCOMPARE(asked.status, 1);
        QVERIFY(asked.err.contains(u"質問掲示板用のログファイルと思われるファイルが指定されています。"_s));
        QVERIFY(asked.out.isEmpty());
        QCOMPARE(cli({u"--no"_s, u"import"_s, Board, fixture(u"one.lzh"_s)}).status, 1);
        QVERIFY(stored().isEmpty());
    }

    void badArguments()
    {
        QCOMPARE(cli({u"--yes"_s, u"import"_s, Board}).status, 2);
        QCOMPARE(cli({u"--yes"_s, u"import"_s, u"x"_s, fixture(u"one.lzh"_s)}).status, 2);
        const CliRun noBoard = cli({u"--yes"_s, u"import"_s, u"999"_s, fixture(u"one.lzh"_s)});
        QCOMPARE(noBoard.status, 1);
        QVERIFY(noBoard.err.contains(u"no board 999"_s));
    }
};

QTEST_GUILESS_MAIN(TestCliImport)
#include "tst_cli_import.moc"
