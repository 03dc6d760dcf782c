#include "app/mdlEncoding.h"
#include "cli/CliHome.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "support/LogFormat.h"
#include "support/BoardSimulator.h"
#include "support/TestFiles.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

QString settingsText(const QString &postName, int viewCount, int noReadPoint, int downloadCount)
{
    return u"PostName=%1\nMail=\nHomePage=\nPassword=\nViewCount=%2\nViewOrder=0\nNoReadView=0\n"
           "NoReadPoint=%3\nDownloadCount=%4\n"_s.arg(postName).arg(viewCount).arg(noReadPoint).arg(downloadCount);
}

const QString Board = u"4"_s; // 雑談掲示板, identifier "zatsudan"

QString fixture(const QString &name)
{
    return QStringLiteral(TESSERA_TEST_DATA) + u"/import/"_s + name;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    std::optional<CliHome> m_home;
    std::unique_ptr<BoardSimulator> m_sim;

    CliRun cli(const QStringList &args) const { return m_home->run(args); }
    CliRun settings(const QStringList &args) const { return m_home->run(QStringList{u"settings"_s} + args); }
    CliRun receive(const QStringList &args) const { return m_home->run(QStringList{u"receive"_s} + args); }

    void execute(const QString &sql)
    {
        auto db = mdlDatabase::OpenLogDatabase(m_home->file(u"log.mdb"_s));
        QVERIFY(db);
        QVERIFY2(db->Execute(sql), qPrintable(sql));
    }

    // Boards 4 and 5 are served, 6 answers 404; no other board is listed.
    void serveBoards()
    {
        m_sim = std::make_unique<BoardSimulator>();
        QVERIFY(m_sim->listen());
        m_sim->addSampleMessages(m_sim->addBoard(0, u"/cgi-bin/zatsudan.cgi"_s), 1, 5);
        m_sim->addBoard(0, u"/cgi-bin/shitsumon.cgi"_s);
        QVERIFY(mdlDatabase::CreateLogDatabase(m_home->file(u"log.mdb"_s)));
        const QString base = m_sim->baseUrl();
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/none.cgi', ListOrder = -1, VisitLoad = False"_s.arg(base));
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/zatsudan.cgi', ListOrder = 1 WHERE BBS_ID = 4"_s.arg(base));
        execute(u"UPDATE BBS SET URL = '%1/cgi-bin/shitsumon.cgi', ListOrder = 2 WHERE BBS_ID = 5"_s.arg(base));
        execute(u"UPDATE BBS SET ListOrder = 0 WHERE BBS_ID = 6"_s);
    }

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

    CliRun query(const QStringList &args, const QString &timeZone = u"UTC"_s) const
    {
        return m_home->run(QStringList{u"query"_s} + args, timeZone);
    }

    /** Runs @p sql and checks it succeeds with the output @p out. */
    void expect(const QString &sql, const QString &out)
    {
        const CliRun run = query({sql});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, out);
    }

    /** Board 4's messages 1 (read, Mark 0) and 2 (unread, a reply to 1, Mark 2), through the command. */
    void storeTwoMessages()
    {
        expect(u"INSERT INTO Message VALUES(4, 1, True, 'a|''b', '', '', '名前',"
               " #2024/01/02 03:04:05#, 0, '一' & Chr(13) & Chr(10) & '二' & Chr(9) & '\\', 1, 0)"_s,
               u"1件追加しました。\n"_s);
        expect(u"INSERT INTO Message SELECT BBS_ID, ID + 1 AS ID, False, Subject, Homepage, Mail,"
               " PostName, PostDate, 1, Body, RootThread, 2 FROM Message"_s,
               u"1件追加しました。\n"_s);
    }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }
    void init() { m_home.emplace(); }
    void cleanup() { m_sim.reset(); }

    void boardsOnAFirstRun()
    {
        const CliRun run = cli({u"boards"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(u"データベースファイルが存在しません。"_s));
        QVERIFY(readFile(m_home->file(u"tessera.ini"_s)).contains("\nBBS_ID=3"));
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
        QCOMPARE(compact.status, 0);
        QVERIFY(compact.out.isEmpty());
        QCOMPARE(QDir(m_home->dir.path()).entryList({u"TSR*"_s}), QStringList());
        const CliRun run = cli({u"--no"_s, u"boards"_s});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), u"5\t-1\t0\tFalse\t0\ta b"_s);
        QVERIFY(lines.at(3).startsWith(u"4\t2\t0\tTrue\t2\t"_s));
        // --no declined the folders: they are not made, and the run still succeeds.
        QVERIFY(!QDir(m_home->file(u"cache"_s)).exists());
    }

    // Usage errors of every command give 2; a log database that cannot be opened gives 1.
    void failuresAndUsageErrors()
    {
        const QList<QStringList> usage{
            {}, {u"nothing"_s}, {u"boards"_s, u"x"_s}, {u"compact"_s, u"x"_s}, {u"query"_s}, {u"import"_s, u"4"_s},
            {u"import"_s, u"x"_s, u"a.log"_s}, {u"settings"_s}, {u"settings"_s, u"4"_s, u"Foo=1"_s},
            {u"settings"_s, u"4"_s, u"PostName"_s}, {u"settings"_s, u"4"_s, u"PostName=a"_s, u"ViewCount=many"_s},
            {u"receive"_s}, {u"receive"_s, u"--visit"_s, u"4"_s}, {u"receive"_s, u"--full"_s, u"--all"_s}};
        for (const QStringList &args : usage) {
            const CliRun run = cli(args);
            QVERIFY2(run.status == 2, qPrintable(args.join(u' ')));
            QVERIFY2(run.err.contains(u"usage"_s), qPrintable(args.join(u' ')));
        }
        QVERIFY(!QFile::exists(m_home->file(u"log.mdb"_s)));
        writeFile(m_home->file(u"log.mdb"_s), "no database");
        writeFile(m_home->file(u"log.bak"_s), "older");
        const CliRun run = cli({u"boards"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(u"プログラムを終了します。"_s));
    }

    void boardsNameAMissingTable()
    {
        QVERIFY(mdlDatabase::CreateLogDatabase(m_home->file(u"log.mdb"_s)));
        execute(u"DROP TABLE Message"_s);
        const CliRun run = cli({u"boards"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"'Message'"_s), qPrintable(run.err));
    }

    void commaBoardsWrittenAndKept()
    {
        QCOMPARE(settings({u"4"_s}).out, settingsText({}, 20, 0, 30));
        const CliRun run = settings({u"4"_s, u"PostName=山田～太郎"_s, u"noreadpoint=120"_s, u"DownloadCount= 40"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, settingsText(u"山田～太郎"_s, 20, 120, 40));
        QCOMPARE(settings({u"4"_s}).out, run.out);
        // The board's cookie is named after its address and holds CP932 bytes.
        const QByteArray cookies = readFile(m_home->file(u"cookies.txt"_s));
        QVERIFY(cookies.contains("/zatsudan.cgi\t" + mdlMain::ToCp932(u"山田～太郎"_s) + ",,,,20,,,120,40\n"));
    }

    // A type-3 board without its own cookie keeps nothing, and the command says so.
    void settingNotStored()
    {
        const CliRun run = settings({u"3"_s, u"DownloadCount=5"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(u"DownloadCount was not stored as given"_s));
        QCOMPARE(run.out, settingsText({}, 20, 0, 30));
        const CliRun noBoard = settings({u"999"_s, u"PostName=a"_s});
        QCOMPARE(noBoard.status, 1);
        QVERIFY(noBoard.err.contains(u"no board 999"_s));
    }

    // Unread loads keep their position in the home folder's cookie file; --full asks for all.
    void receiveBoards()
    {
        serveBoards();
        BoardMessage broken;
        broken.number = 6;
        broken.rawEntry = u"壊れた記事"_s;
        m_sim->addMessage(0, broken);
        CliRun run = receive({u"4"_s, u"5"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"4\t雑談掲示板で5件受信しました。\n5\t質問掲示板に新規投稿はありませんでした。\n"_s);
        QVERIFY(run.err.contains(u"1番目のログを要求しています。\n"_s)); // progress goes to standard error
        QCOMPARE(m_sim->requests().last().target, "/cgi-bin/shitsumon.cgi?dousa=log&logmidoku=1&logno=0");
        QVERIFY(readFile(m_home->file(u"zatsudan.bad"_s)).startsWith(mdlMain::ToCp932(u"壊れた記事"_s)));

        QCOMPARE(receive({u"--full"_s, u"4"_s}).status, 0);
        QCOMPARE(m_sim->requests().last().target, "/cgi-bin/zatsudan.cgi?dousa=log&logmidoku=0&logno=0");
        QVERIFY(m_sim->requests().last().cookie.contains(",,,5,30")); // the position kept by the first run
    }

    // Failed boards (here a 404 and a time-out taken from the settings file) make status 1.
    void visitAndAllBoards()
    {
        serveBoards();
        writeFile(m_home->file(u"tessera.ini"_s), "[Option]\r\nTimeout=1\r\n");
        BoardSimulator::Fault silent;
        silent.kind = BoardSimulator::FaultKind::NeverAnswer;
        m_sim->setFault(silent, 1, 1);
        CliRun run = receive({u"--all"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"6\t情報交換掲示板から受信できませんでした。\tError:HTTP/1.1 404 Not Found\n"
                          u"4\t雑談掲示板から受信できませんでした。\t受信エラー(4):1秒以内に応答がありませんでした。\n"
                          u"5\t質問掲示板に新規投稿はありませんでした。\n"_s);

        execute(u"UPDATE BBS SET VisitLoad = True WHERE BBS_ID = 5"_s);
        QCOMPARE(receive({u"--visit"_s}).out, u"5\t質問掲示板に新規投稿はありませんでした。\n"_s);
        execute(u"UPDATE BBS SET VisitLoad = False"_s);
        run = receive({u"--visit"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(u"巡回受信対象の掲示板はありませんでした。"_s));
    }

    void importsWithTheReadModeOptionAndPrintsTheOutcome()
    {
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made
        writeFile(m_home->file(u"tessera.ini"_s), "[Option]\r\nImportReadMode=True\r\n");
        const CliRun first = cli({u"--yes"_s, u"import"_s, Board, fixture(u"one.lzh"_s),
                               fixture(u"first.log"_s)});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out, u"5件インポートしました。\n"_s);
        QCOMPARE(stored(), QStringList({u"1:True"_s, u"2:True"_s, u"3:True"_s, u"11:True"_s, u"12:True"_s}));
    }

    void failedFilesGiveStatusOne()
    {
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made
        BoardMessage broken = LogFormat::sampleMessage(8);
        broken.rawEntry = u"壊れた記事"_s;
        const QString brokenLog = m_home->file(u"broken.log"_s);
        writeFile(brokenLog, LogFormat::toCp932(LogFormat::log(0, {broken, LogFormat::sampleMessage(7)})));
        const QString missing = m_home->file(u"missing.log"_s);
        const CliRun run = cli({u"--yes"_s, u"import"_s, Board, missing, brokenLog});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"1件インポートしました。\n"_s);
        QVERIFY(run.err.contains(missing + u"が見つからないため、インポートできませんでした。"_s));
        QVERIFY(run.err.contains(u"0件目のログが壊れていました。"_s));
        const QByteArray errorLog = readFile(m_home->file(u"zatsudan.bad"_s)); // the board's error log
        QVERIFY(errorLog.startsWith(LogFormat::toCp932(u"壊れた記事"_s + LogFormat::separator())));
        QCOMPARE(stored(), QStringList{u"7:False"_s});
        const CliRun noBoard = cli({u"--yes"_s, u"import"_s, u"999"_s, fixture(u"one.lzh"_s)});
        QCOMPARE(noBoard.status, 1);
        QVERIFY(noBoard.err.contains(u"no board 999"_s));
    }

    void declinedImportStoresNothing()
    {
        QCOMPARE(cli({u"--yes"_s, u"boards"_s}).status, 0); // database and folders made
        const QString path = m_home->file(u"shitsumon-2001.log"_s); // another board's name
        QVERIFY(QFile::copy(fixture(u"first.log"_s), path));
        const CliRun asked = cli({u"import"_s, Board, path}); // the warning defaults to No
        QCOMPARE(asked.status, 1);
        QVERIFY(asked.err.contains(u"質問掲示板用のログファイルと思われるファイルが指定されています。"_s));
        QVERIFY(asked.out.isEmpty());
        QCOMPARE(cli({u"--no"_s, u"import"_s, Board, fixture(u"one.lzh"_s)}).status, 1);
        QVERIFY(stored().isEmpty());
    }

    void actionStatementsPrintTheirCountLine()
    {
        storeTwoMessages();
        expect(u"UPDATE Message SET Mark = 3 WHERE Mark = 0"_s, u"1件更新しました。\n"_s);
        expect(u"SELECT * INTO Copy FROM Message"_s, u"テーブルを作成し2件追加しました。\n"_s);
        expect(u"DELETE FROM Copy"_s, u"2件削除しました。\n"_s);
        expect(u"DROP TABLE Copy"_s, u"データ定義を完了しました。\n"_s);
        const CliRun pragma = query({u"PRAGMA user_version = 3"_s});
        QCOMPARE(pragma.status, 1);
        QCOMPARE(pragma.err, u"処理が実行できませんでした。\n実行時エラー '3219':\n現在未対応ですm(_ _)m\n"_s);
    }

    void resultsPrintAHeaderAndOneLinePerRow()
    {
        storeTwoMessages();
        expect(u"SELECT ID, Read, Subject, PostDate, Body, Max(InReplyTo) AS M, Null AS N FROM Message"
               " WHERE BBS_ID = 4 GROUP BY ID, Read, Subject, PostDate, Body ORDER BY ID"_s,
               u"ID\tRead\tSubject\tPostDate\tBody\tM\tN\n"
               u"1\tTrue\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t0\t\n"
               u"2\tFalse\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t1\t\n"_s);
        expect(u"SELECT Max(PostDate) AS Newest FROM Message"_s, u"Newest\n2024/01/02 03:04:05\n"_s);
        expect(u"SELECT ID FROM Message WHERE ID > 100"_s, u"ID\n"_s);
        // A wall-clock time that the local zone skips is still a date.
        expect(u"UPDATE Message SET PostDate = #2024/03/31 02:30:00# WHERE ID = 2"_s, u"1件更新しました。\n"_s);
        QCOMPARE(query({u"SELECT PostDate FROM Message WHERE ID = 2"_s}, u"Europe/Berlin"_s).out,
                 u"PostDate\n2024/03/31 02:30:00\n"_s);
    }

    void parametersComeFromTheArguments()
    {
        storeTwoMessages();
        const CliRun run = query({u"SELECT ID FROM Message WHERE ID = [番号] AND Mark = [印]"_s, u"2"_s, u"2"_s});
        QCOMPARE(run.out, u"ID\n2\n"_s);
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(u"番号 -> 2"_s));
        QVERIFY(run.err.contains(u"印 -> 2"_s));
    }

    void errorsPrintNumberAndDescription()
    {
        const CliRun run = query({u"SELECT * FROM NoSuchTable"_s});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(u"実行時エラー '3078':\n入力テーブルまたはクエリ 'NoSuchTable' が見つかりませんでした。"_s));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
