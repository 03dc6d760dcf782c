#include "app/Prompter.h"
#include "db/mdlDatabase.h"
#include "support/OtherProcess.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;
using namespace mdlDatabase;

namespace {

/** The stock sqlite3 tool's rows for @p sql on @p path, joined by " ". */
QString tool(const QString &path, const QString &sql, bool *ok = nullptr)
{
    return sqliteTool(path, sql, ok).replace(u'\n', u' ');
}

/** Tables of an older program version, with a user-added board 40 and a mark 5. */
const QString OldTables = uR"(
CREATE TABLE BBS(BBS_ID INTEGER PRIMARY KEY, bbs_name TEXT, ShortName TEXT, URL TEXT,
  HowtouseURL TEXT, MaxCount INTEGER, Hitokoto INTEGER, VisitLoad BOOLEAN, ListOrder INTEGER,
  DefaultLogFile TEXT, Identifier TEXT);
INSERT INTO BBS VALUES(3, '旧なんでも', '旧', 'http://old.example.jp/bbs.cgi', 'r', 300, -1, -1, 0, 'old*', 'oldnandemo'),
  (14, '', '右', 'http://bbs.example.jp/cgi-bin/sayu.cgi', 'r', 'many', 1, -1, 13, '', 'migi'),
  (40, '自作', '自作', 'http://mine.example.jp/bbs.cgi', 'r', 100, -1, -1, 20, '', 'mine');
CREATE TABLE Message(BBS_ID INTEGER, ID INTEGER, Read BOOLEAN, Subject TEXT, Homepage TEXT,
  Mail TEXT, PostName TEXT, PostDate DATETIME, InReplyTo INTEGER, Body TEXT, RootThread INTEGER,
  Mark INTEGER, PRIMARY KEY(ID, BBS_ID));
CREATE INDEX IDX1 ON Message(RootThread);
INSERT INTO Message VALUES(3, 1, -1, 'こんにちは', '', '', '太郎', '2001-02-03 04:05:06', 0, 'abc', 1, 5),
  (3, 2, 0, 'Re', '', '', '花子', '2001-02-03 05:00:00', 1, '', 1, 0),
  (40, 7, 0, '自作', '', '', '次郎', '2001-02-04 00:00:00', 0, 'body', 7, 0);
CREATE TABLE Mark(ID INTEGER PRIMARY KEY, Name TEXT, ForeColor INTEGER, BackColor INTEGER);
INSERT INTO Mark VALUES(1, '古い', 255, 0), (5, 'マーク&5', 65280, -2147483643);
)"_s;

QString versionRows(const QString &bbs)
{
    return uR"(CREATE TABLE Version("Table" TEXT, Version TEXT);
INSERT INTO Version VALUES('BBS', '%1'), ('Message', 'Ver.0.13'), ('Mark', 'Ver.0.40');)"_s.arg(bbs);
}

const QString ConvertQuestion =
    u"データベースファイルが古くなっています。\n新しいデータベースファイルにコンバートします。\n\n"
    "注意！:\n  完全にコンバートできるとは限りません。\n  必ずデータベースファイルのバックアップをとってください。"_s;

} // namespace

class TestMdlDatabase : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    ScriptedPrompter m_prompter;

    QStringList prompts() const { return m_prompter.texts(); }
    /** The files beside the database. */
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files); }
    void prepare(const QString &script)
    {
        bool ok = false;
        tool(m_path, script, &ok);
        QVERIFY(ok);
    }

private slots:
    void init()
    {
        for (const QString &name : files())
            QFile::remove(m_dir.filePath(name));
        m_path = m_dir.filePath(u"log.mdb"_s);
        m_prompter.clear();
        setPrompter(&m_prompter);
    }

    void cleanup() { setPrompter(nullptr); }

    // A file that is no log database is kept as log.bak (the start-up test keeps an older backup).
    void unrecognisedFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text file") << QByteArray("not a database\r\n");
    }

    void unrecognisedFileIsSetAside()
    {
        QFETCH(QByteArray, content);
        writeFile(m_path, content);
        const std::unique_ptr<Database> db = OpenLogDatabase(m_path);
        QVERIFY(db);
        QCOMPARE(prompts(), QStringList{m_path + u"をデータベースファイルとして認識できませんでした。\n"
                                                  "ログのバックアップ(log.bak)を作成し、新しいデータベースファイルを作成します。"_s});
        QCOMPARE(readFile(m_dir.filePath(u"log.bak"_s)), content);
        QVERIFY(!OtherProcess(m_path, true).held); // the new file is the one held
    }

    void refusedFileStaysUnchanged_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("too new") << versionRows(u"Ver.0.63"_s) << int(Prompter::Ok) << u"データベースファイルが新しすぎます。"_s;
        QTest::newRow("conversion cancelled") << OldTables << int(Prompter::Cancel) << ConvertQuestion;
    }

    void refusedFileStaysUnchanged()
    {
        QFETCH(QString, script);
        QFETCH(int, answer);
        QFETCH(QString, message);
        prepare(script);
        const QByteArray before = readFile(m_path);
        m_prompter.pushAnswer(Prompter::Button(answer));
        QVERIFY(!OpenLogDatabase(m_path));
        QVERIFY(!CreateLogDatabase(m_path));
        QCOMPARE(prompts(), QStringList{message});
        QCOMPARE(readFile(m_path), before);
        QCOMPARE(files(), QStringList{u"log.mdb"_s});
    }

    void convertsOlderFile_data()
    {
        QTest::addColumn<QString>("versions");
        QTest::addColumn<QString>("board3");
        QTest::addColumn<QString>("messages");
        QTest::addColumn<QString>("marks");
        QTest::newRow("no Version table")
            << QString() << u"旧なんでも|"_s + DefaultBoard3URL() + u"|3|nandemo*|oldnandemo|300|0"_s
            << u"3|1|1|abc|5 40|7|0|body|0"_s << u"1|マーク&1 2|マーク&2 3|マーク&3 4|マーク&4 5|マーク&5"_s;
        QTest::newRow("BBS of Ver.0.50")
            << versionRows(u"Ver.0.50"_s) << u"旧なんでも|"_s + DefaultBoard3URL() + u"|3|old*|oldnandemo|300|0"_s
            << u"3|1|-1|abc|5 3|2|0||0 40|7|0|body|0"_s << u"1|古い 5|マーク&5"_s;
    }

    void convertsOlderFile()
    {
        QFETCH(QString, versions);
        prepare(OldTables + versions);
        const QByteArray before = readFile(m_path);
        const std::unique_ptr<Database> db = OpenLogDatabase(m_path);
        QVERIFY(db);
        QCOMPARE(prompts(), (QStringList{ConvertQuestion, u"データベースのコンバートが完了しました。"_s}));
        QCOMPARE(readFile(m_dir.filePath(versions.isEmpty() ? u"log_Ver.0.00.mdb"_s : u"log_Ver.0.50.mdb"_s)), before);
        QTEST(tool(m_path, u"SELECT BBS_Name, URL, BBSType, DefaultLogFile, Identifier, MaxCount, ListOrder FROM BBS WHERE BBS_ID = 3"_s),
              "board3");
        // Board 40 of the user goes; board 14 keeps the default name and count where its old values are refused.
        QCOMPARE(tool(m_path, u"SELECT count(*) FROM BBS"_s), u"16"_s);
        QCOMPARE(tool(m_path, u"SELECT count(DISTINCT HowtouseURL) FROM BBS"_s), u"1"_s);
        QCOMPARE(tool(m_path, u"SELECT BBS_Name, ShortName, MaxCount FROM BBS WHERE BBS_ID = 14"_s), u"左右掲示板(右)|右|200"_s);
        QTEST(tool(m_path, u"SELECT BBS_ID, ID, Read, Body, Mark FROM Message"_s), "messages");
        QTEST(tool(m_path, u"SELECT ID, Name FROM Mark"_s), "marks");
        // No table of the conversion is left, the versions are current, and rebuilt tables are compacted.
        QCOMPARE(tool(m_path, u"SELECT count(*) FROM sqlite_master WHERE name LIKE '%_BACK%'"_s), u"0"_s);
        QCOMPARE(tool(m_path, u"SELECT Version FROM Version"_s), u"Ver.0.61 Ver.0.13 Ver.0.40 Ver.0.62"_s);
        if (versions.isEmpty())
            QCOMPARE(tool(m_path, u"PRAGMA freelist_count"_s), u"0"_s);
        QVERIFY(!OtherProcess(m_path, true).held);
        QCOMPARE(files().size(), 2);
    }

    // A file of the version before the NG rules gains their table.
    void lastVersionGainsTheRuleTable()
    {
        QVERIFY(CreateLogDatabase(m_path));
        prepare(u"DROP TABLE NGRule; DELETE FROM Version WHERE \"Table\" = 'NGRule';"_s);
        QVERIFY(OpenLogDatabase(m_path));
        QCOMPARE(prompts(), (QStringList{ConvertQuestion, u"データベースのコンバートが完了しました。"_s}));
        QCOMPARE(tool(m_path, u"SELECT count(*) FROM NGRule"_s), u"0"_s);
        QCOMPARE(tool(m_path, u"SELECT Version FROM Version WHERE \"Table\" = 'NGRule'"_s), u"Ver.0.62"_s);
    }

    // A database whose header alone is damaged is no foreign file: it stays where it is, check
    // and the open name the repair, and the repair recovers its rows.
    void damagedHeaderIsRepairedInPlace_data()
    {
        QTest::addColumn<int>("zeroed");
        QTest::newRow("signature") << 16;
        QTest::newRow("whole header") << 100;
    }

    void damagedHeaderIsRepairedInPlace()
    {
        QFETCH(int, zeroed);
        QVERIFY(CreateLogDatabase(m_path));
        prepare(u"UPDATE BBS SET BBS_Name = '残す' WHERE BBS_ID = 3"_s);
        {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QCOMPARE(file.write(QByteArray(zeroed, '\0')), zeroed);
        }
        QVERIFY(!OpenLogDatabase(m_path));
        QVERIFY(prompts().last().contains(u"tessera-cli repair"_s));
        QCOMPARE(files(), QStringList{u"log.mdb"_s});
        QVERIFY(CheckLogDatabase(m_path).lines.last().contains(u"tessera-cli repair"_s));
        QVERIFY(RepairLogDatabase(m_path).ok);
        QCOMPARE(tool(m_path, u"SELECT BBS_Name FROM BBS WHERE BBS_ID = 3"_s), u"残す"_s);
    }

    // A repair that has no room says so before it writes anything.
    void repairOnAFullDiskNamesTheDisk()
    {
        const SmallDisk disk(m_dir.filePath(u"small"_s), 1024);
        REQUIRE_MOUNTED(disk);
        const QString path = disk.path(u"log.mdb"_s);
        QVERIFY(CreateLogDatabase(path));
        QVERIFY(disk.fill());
        const MaintenanceReport report = RepairLogDatabase(path);
        QVERIFY(!report.ok);
        QVERIFY2(report.lines.first().contains(u"ディスクの空き容量"_s), qPrintable(report.lines.first()));
    }

    void failedConversionStops()
    {
        prepare(OldTables + u"CREATE TABLE BBS_BACK(x);"_s);
        QVERIFY(!OpenLogDatabase(m_path));
        QCOMPARE(prompts().last(), u"BBSテーブルのコンバートに失敗しました。"_s);
        QCOMPARE(tool(m_path, u"SELECT count(*) FROM BBS"_s), u"3"_s);
    }

    // Failures are the window's compaction test; here the file shrinks and is open again.
    void compactionShrinksTheFile()
    {
        std::unique_ptr<Database> db = CreateLogDatabase(m_path);
        QVERIFY(db);
        QVERIFY(db->Execute(u"SELECT zeroblob(1000000) AS x INTO Filler"_s));
        QVERIFY(db->DeleteTable(u"Filler"_s));
        const qint64 before = QFileInfo(m_path).size();
        QVERIFY(CompactLogDatabase(db));
        QVERIFY(db);
        QCOMPARE(db->Path(), m_path);
        QCOMPARE(db->OpenRecordset(u"SELECT count(*) FROM BBS"_s)->Value(0).toInt(), 16);
        QCOMPARE_LT(QFileInfo(m_path).size(), before);
        QVERIFY(!OtherProcess(m_path, true).held); // the new file is the one held
        QVERIFY(prompts().isEmpty());
        QCOMPARE(files(), QStringList{u"log.mdb"_s});
    }

    // Leftovers of a killed compaction go only when no other process may still be making them;
    // a compaction refused beside another process leaves the database open.
    void leftoversWaitUntilNoOtherProcessHasTheFileOpen()
    {
        std::unique_ptr<Database> db = CreateLogDatabase(m_path);
        QVERIFY(db);
        writeFile(m_dir.filePath(u"TSR1234.tmp"_s), "left by a killed compaction");
        std::optional<OtherProcess> other(std::in_place, m_path);
        QFile::remove(m_path + u".lock"_s); // a user's deletion changes nothing
        QVERIFY(!CompactLogDatabase(db));
        QVERIFY(db);
        QVERIFY(db->IsOpen());
        db.reset();
        QVERIFY((db = OpenLogDatabase(m_path)));
        QVERIFY(files().contains(u"TSR1234.tmp"_s));
        db.reset();
        other.reset();
        QVERIFY((db = OpenLogDatabase(m_path)));
        QCOMPARE(files(), QStringList{u"log.mdb"_s});
    }

    // Opening waits out another process's compaction and then holds the file that took the name.
    void openingHoldsTheFileThatReplacedTheOneItWaitedFor()
    {
        QVERIFY(CreateLogDatabase(m_path));
        const QString compacted = m_dir.filePath(u"compacted"_s);
        QVERIFY(QFile::copy(m_path, compacted));
        std::optional<OtherProcess> compaction(std::in_place, m_path, true);
        std::thread finish([&] {
            QThread::msleep(300);
            std::rename(QFile::encodeName(compacted).constData(), QFile::encodeName(m_path).constData());
            compaction.reset();
        });
        const std::unique_ptr<Database> db = OpenLogDatabase(m_path);
        finish.join();
        QVERIFY(db);
        QVERIFY(!OtherProcess(m_path, true).held);
    }

    // A file to set aside or to convert stays as it is while another process has it open.
    void fileStaysWhileOtherProcessesRun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("no log database") << u"CREATE TABLE Other(x);"_s;
        QTest::newRow("older version") << OldTables;
    }

    void fileStaysWhileOtherProcessesRun()
    {
        QFETCH(QString, script);
        prepare(script);
        const QByteArray before = readFile(m_path);
        const OtherProcess other(m_path);
        QFile::remove(m_path + u".lock"_s); // a user's deletion changes nothing
        m_prompter.pushAnswer(Prompter::Ok);
        QVERIFY(!OpenLogDatabase(m_path));
        QVERIFY(prompts().last().contains(u"他のプロセス"_s));
        QCOMPARE(readFile(m_path), before);
        QCOMPARE(files(), QStringList{u"log.mdb"_s});
    }
};

QTEST_GUILESS_MAIN(TestMdlDatabase)
#include "tst_mdldatabase.moc"
