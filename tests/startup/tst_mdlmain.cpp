#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "startup/mdlMain.h"
#include "app/mdlOption.h"
#include "db/mdlDatabase.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMdlMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    ScriptedPrompter m_prompter;
    QStringList m_steps;

    QString homeFile(const QString &name) const { return m_home->filePath(name); }

    mdlMain::StartupHooks recordingHooks()
    {
        return {[this] { m_steps << (gDB ? u"splash after db"_s : u"splash"_s); },
                [this] { m_steps << u"close splash"_s; }, [this] { m_steps << u"main window"_s; }};
    }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("TESSERA_HOME", m_home->path().toLocal8Bit());
        m_prompter.clear();
        m_steps.clear();
    }

    void cleanup() { mdlMain::ShutdownApplication(); }

    void firstStartCreatesDatabaseAndSettings()
    {
        const mdlOption::OptionsGuard options;
        QVERIFY(mdlMain::StartApplication(recordingHooks()));
        QCOMPARE(m_steps, (QStringList{u"splash"_s, u"main window"_s}));
        QVERIFY(QDir(homeFile(u"cache"_s)).exists());
        // Only the web searches are written during start-up; the options follow at exit.
        const QByteArray written = readFile(mdlMain::SettingsFilePath());
        QVERIFY(written.contains("[WebSearch]"));
        QVERIFY(!written.contains("[Option]"));
        mdlOption::AutoCloseImportDialog = true;
        mdlMain::ShutdownApplication();
        mdlOption::AutoCloseImportDialog = false;
        m_prompter.pushAnswer(Prompter::No);
        QVERIFY(mdlMain::StartApplication());
        QVERIFY(mdlOption::AutoCloseImportDialog);
    }

    void newProgramFolderIsFilledWithoutQuestions_data()
    {
        QTest::addColumn<QString>("folder"); // the program folder, under the temporary one
        QTest::addColumn<int>("told"); // messages and questions during the start
        QTest::newRow("made by the start") << u"new/tessera"_s << 0;
        // An empty folder that was there already: the database's absence and both subfolders are told.
        QTest::newRow("there already") << QString() << 3;
    }

    void newProgramFolderIsFilledWithoutQuestions()
    {
        QFETCH(QString, folder);
        const mdlOption::OptionsGuard options;
        const QString home = homeFile(folder);
        qputenv("TESSERA_HOME", home.toLocal8Bit());
        QVERIFY(mdlMain::StartApplication());
        QTEST(int(m_prompter.texts().size()), "told");
        QVERIFY(QDir(home + u"/image"_s).exists());
        QVERIFY(QDir(home + u"/cache"_s).exists());
    }

    // The ReadMe.txt built into the program is written into a folder that has none; a file
    // already there is the user's and stays as it is.
    void readMeWrittenWhenMissing_data()
    {
        QTest::addColumn<QByteArray>("present"); // empty: no ReadMe.txt before the start
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("user's own") << "edited"_ba;
    }

    void readMeWrittenWhenMissing()
    {
        QFETCH(QByteArray, present);
        const mdlOption::OptionsGuard options;
        if (!present.isEmpty())
            writeFile(homeFile(u"ReadMe.txt"_s), present);
        QVERIFY(mdlMain::StartApplication());
        const QByteArray shipped = readFile(QStringLiteral(TESSERA_TEST_DATA "/../../resources/ReadMe.txt"));
        QVERIFY(!shipped.isEmpty());
        QCOMPARE(readFile(homeFile(u"ReadMe.txt"_s)), present.isEmpty() ? shipped : present);
        QCOMPARE(QDir(m_home->path()).entryList({u"ReadMe.txt.*"_s}), QStringList());
    }

    // The board selected at the last exit is kept only while it is listed.
    void boardMustBeListed()
    {
        const mdlOption::OptionsGuard options;
        const auto db = mdlDatabase::CreateLogDatabase(homeFile(u"log.mdb"_s));
        QVERIFY(db);
        writeFile(homeFile(u"tessera.ini"_s), "[Option]\nBBS_ID=5\n");
        CIniFile ini;
        QVERIFY(ini.Load(homeFile(u"tessera.ini"_s)));
        mdlMain::LoadOption(ini, *db);
        QCOMPARE(mdlOption::BBS_ID, 5);
        QVERIFY(db->Execute(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID = 5"_s));
        mdlMain::LoadOption(ini, *db);
        QCOMPARE(mdlOption::BBS_ID, 3); // board 3 has the smallest ListOrder, 0
        QVERIFY(db->Execute(u"UPDATE BBS SET ListOrder = -1"_s));
        mdlMain::LoadOption(ini, *db);
        QCOMPARE(mdlOption::BBS_ID, 0);
    }

    void databaseFailureLeavesSettingsAlone_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("no settings file") << QByteArray();
        QTest::newRow("settings file") << "[Option]\r\nAddMax=7\r\n"_ba;
    }

    void databaseFailureLeavesSettingsAlone()
    {
        QFETCH(QByteArray, settings);
        // Not a database, and the backup name is taken: no database can be had.
        writeFile(homeFile(u"log.mdb"_s), "no database");
        writeFile(homeFile(u"log.bak"_s), "older backup");
        if (!settings.isEmpty())
            writeFile(mdlMain::SettingsFilePath(), settings);
        QVERIFY(!mdlMain::StartApplication(recordingHooks()));
        QCOMPARE(m_steps, (QStringList{u"splash"_s, u"close splash"_s}));
        QCOMPARE(m_prompter.texts().last(), u"プログラムを終了します。"_s);
        mdlMain::ShutdownApplication();
        QCOMPARE(QFile::exists(mdlMain::SettingsFilePath()), !settings.isEmpty());
        QCOMPARE(readFile(mdlMain::SettingsFilePath()), settings);
        QCOMPARE(readFile(homeFile(u"log.mdb"_s)), QByteArray("no database"));
        QCOMPARE(readFile(homeFile(u"log.bak"_s)), QByteArray("older backup"));
    }
};

QTEST_GUILESS_MAIN(TestMdlMain)
#include "tst_mdlmain.moc"
