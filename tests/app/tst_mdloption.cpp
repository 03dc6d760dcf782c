#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlEncoding.h"
#include "app/mdlOption.h"
#include "db/mdlDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;
using namespace mdlOption;

class TestMdlOption : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<Database> m_db;
    ScriptedPrompter m_prompter;

    QString iniPath() const { return m_home.filePath(u"tessera.ini"_s); }

    void writeIni(const QString &text)
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(mdlMain::ToCp932(text));
    }

    QString readIni() const
    {
        QFile f(iniPath());
        // Line ends follow the file's own; the tests compare lines only.
        return f.open(QIODevice::ReadOnly) ? mdlMain::FromCp932(f.readAll()).remove(u'\r') : QString();
    }

    /** Loads the options from a settings file holding @p text. */
    void load(const QString &text, CIniFile &ini)
    {
        writeIni(text);
        QVERIFY(ini.Load(iniPath()));
        LoadOption(ini, *m_db);
    }

    void setListOrder(int id, int listOrder)
    {
        QVERIFY(m_db->Execute(u"UPDATE BBS SET ListOrder = %1 WHERE BBS_ID = %2"_s.arg(listOrder).arg(id)));
    }

private slots:
    void initTestCase()
    {
        qputenv("TESSERA_HOME", m_home.path().toLocal8Bit());
        setPrompter(&m_prompter);
    }

    void init()
    {
        m_prompter.clear();
        QFile::remove(iniPath());
        m_db.reset();
        QFile::remove(m_home.filePath(u"log.mdb"_s));
        m_db = mdlDatabase::CreateLogDatabase(m_home.filePath(u"log.mdb"_s));
        QVERIFY(m_db);
    }

    void defaultsOfAnEmptyFile()
    {
        CIniFile ini;
        load(u"[Option]\nReplyHeader=   \nDateFormat=\n"_s, ini);
        QCOMPARE(BBS_ID, 3);
        QCOMPARE(Interval, 30);
        QCOMPARE(AddMax, 100);
        QCOMPARE(ReadTiming, 1500);
        QCOMPARE(Timeout, 60);
        QCOMPARE(ReplyHeader, u"%s#%I %S より引用\\n%B"_s);
        QCOMPARE(DateFormat, u"yyyy/mm/dd hh:nn"_s);
        QCOMPARE(ErrorLogFilePath, mdlApp::GetAppPath());
        QCOMPARE(CacheFilePath, mdlApp::GetAppPath() + u"cache/"_s);
        QCOMPARE(IconFilePath, mdlApp::GetAppPath() + u"image/"_s);
        QVERIFY(SaveSQLDialogPosition && SaveLoadDialogPosition && UseRegExp && IgnoreCase);
        QVERIFY(AddTaskTray && BlinkIcon && NoReadBold);
        QVERIFY(!Timer && !AutoCloseImportDialog && !ImportReadMode && !HideAtMinimazed && !ExitIfMessageFound);
    }

    void rangeRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("which");
        const int interval = 0, addMax = 1, readTiming = 2, timeout = 3;
        QTest::newRow("Interval 5") << u"Interval=5"_s << 30 << interval;
        QTest::newRow("Interval 10") << u"Interval=10"_s << 10 << interval;
        QTest::newRow("Interval 120") << u"Interval=120"_s << 120 << interval;
        QTest::newRow("Interval 121") << u"Interval=121"_s << 30 << interval;
        QTest::newRow("AddMax 0") << u"AddMax=0"_s << 100 << addMax;
        QTest::newRow("AddMax 1000") << u"AddMax=1000"_s << 1000 << addMax;
        QTest::newRow("AddMax 1001") << u"AddMax=1001"_s << 100 << addMax;
        QTest::newRow("AddMax letters") << u"AddMax=viel"_s << 100 << addMax;
        QTest::newRow("AddMax beyond 32 bits") << u"AddMax=4294967396"_s << 100 << addMax;
        QTest::newRow("ReadTiming -1") << u"ReadTiming=-1"_s << 1500 << readTiming;
        QTest::newRow("ReadTiming 0") << u"ReadTiming=0"_s << 0 << readTiming;
        QTest::newRow("Timeout -1") << u"Timeout=-1"_s << 60 << timeout;
        QTest::newRow("Timeout 0") << u"Timeout=0"_s << 0 << timeout;
    }

    void rangeRules()
    {
        QFETCH(QString, line);
        QFETCH(int, expected);
        QFETCH(int, which);
        CIniFile ini;
        load(u"[Option]\n"_s + line + u'\n', ini);
        const int values[] = {Interval, AddMax, ReadTiming, Timeout};
        QCOMPARE(values[which], expected);
    }

    void timerIsOffAfterLoading()
    {
        CIniFile ini;
        load(u"[Option]\nTimer=True\nAutoCloseImportDialog=True\n"_s, ini);
        QVERIFY(!Timer);
        QVERIFY(AutoCloseImportDialog);
        SaveOption(ini);
        QVERIFY(readIni().contains(u"Timer=False\n"_s));
        QVERIFY(readIni().contains(u"AutoCloseImportDialog=True\n"_s));
        Timer = true;
        SaveOption(ini);
        QVERIFY(readIni().contains(u"Timer=True\n"_s));
    }

    void boardMustBeListed()
    {
        CIniFile ini;
        load(u"[Option]\nBBS_ID=5\n"_s, ini);
        QCOMPARE(BBS_ID, 5);

        setListOrder(5, -1);
        load(u"[Option]\nBBS_ID=5\n"_s, ini);
        QCOMPARE(BBS_ID, 3); // board 3 has the smallest ListOrder, 0
        load(u"[Option]\nBBS_ID=999\n"_s, ini);
        QCOMPARE(BBS_ID, 3);

        setListOrder(3, -1);
        load(u"[Option]\nBBS_ID=5\n"_s, ini);
        QCOMPARE(BBS_ID, 16); // ListOrder 1 is the smallest left

        QVERIFY(m_db->Execute(u"UPDATE BBS SET ListOrder = -1"_s));
        load(u"[Option]\nBBS_ID=16\n"_s, ini);
        QCOMPARE(BBS_ID, 0);
    }

    void webSearchDefaultsOnlyWithoutTheSection()
    {
        CIniFile ini;
        writeIni(u"[Option]\nAddMax=5\n"_s);
        ini.Load(iniPath());
        InitWebSearch(ini);
        const QString ms = u"SearchMS25.asp?qu=%s&IntCat=0&IntCat=2&Nq=NEW&boolean=ALL\n"_s;
        QCOMPARE(readIni(), u"[Option]\nAddMax=5\n[WebSearch]\n"
                            "Googleで検索(&G)...=https://www.google.com/search?q=%s&num=100\n"
                            "マイクロソフトサイト検索(&J)...=https://www.microsoft.com/japan/"_s
                                + ms + u"Microsoft Web Search(&U)...=https://www.microsoft.com/us/"_s + ms);

        const QString kept = u"[WebSearch]\n[Option]\n"_s;
        writeIni(kept);
        CIniFile emptySection;
        emptySection.Load(iniPath());
        InitWebSearch(emptySection);
        QVERIFY(emptySection.Keys().isEmpty());
        QCOMPARE(readIni(), kept);
    }

    void folderCheck()
    {
        const QString cache = m_home.filePath(u"c1"_s);
        IconFilePath = m_home.path();
        CacheFilePath = cache;
        ErrorLogFilePath = u"  "_s;
        m_prompter.pushAnswer(Prompter::No);
        QVERIFY(!CheckFolders());
        QCOMPARE(IconFilePath, m_home.path() + u'/');
        QCOMPARE(CacheFilePath, cache + u'/');
        QCOMPARE(ErrorLogFilePath, mdlApp::GetAppPath()); // blank is the default, not "/"
        QVERIFY(!QDir(cache).exists());
        QCOMPARE(m_prompter.records().size(), 1);
        const ScriptedPrompter::Record question = m_prompter.records().first();
        QCOMPARE(question.text, u"キャッシュフォルダ\""_s + cache + u"/\"は存在しません。\n作成しますか？"_s);
        QCOMPARE(question.icon, Prompter::Icon::Information);
        QCOMPARE(question.buttons, (QList<Prompter::Button>{Prompter::Yes, Prompter::No}));
        QCOMPARE(question.title, mdlApp::GetAppTitle());

        // Asked again at the next check; Yes creates the folder with its parents.
        m_prompter.clear();
        CacheFilePath = cache + u"/deep/er"_s;
        IconFilePath = m_home.filePath(u"icons"_s);
        m_prompter.pushAnswer(Prompter::No);
        m_prompter.pushAnswer(Prompter::Yes);
        QVERIFY(!CheckFolders());
        QVERIFY(m_prompter.texts().at(0).startsWith(u"アイコンフォルダ\""_s));
        QVERIFY(m_prompter.texts().at(1).startsWith(u"キャッシュフォルダ\""_s));
        QVERIFY(QDir(cache + u"/deep/er"_s).exists());
        QVERIFY(!QDir(IconFilePath).exists());
    }

    void saveOrderAndFormat()
    {
        CIniFile ini;
        load(u"[Option]\nNoReadBold=0\nExtra=x\nBBS_ID=4\nInterval=60.4\n[Position]\nTop=1\n"_s, ini);
        CacheFilePath = u"/data/cache/"_s;
        SaveOption(ini);
        const QString expected =
            u"[Option]\nExtra=x\nBBS_ID=4\nTimer=False\nInterval=60\nAddMax=100\n"
            "ReadTiming=1500\nReplyHeader=%s#%I %S より引用\\n%B\nDateFormat=yyyy/mm/dd hh:nn\n"
            "Timeout=60\nSaveSQLDialogPosition=True\nSaveLoadDialogPosition=True\n"
            "AutoCloseImportDialog=False\nUseRegExp=True\nIgnoreCase=True\nImportReadMode=False\n"
            "ErrorLogFilePath="_s
            + mdlApp::GetAppPath() + u"\nCacheFilePath=/data/cache/\nIconFilePath="_s + mdlApp::GetAppPath()
            + u"image/\nAddTaskTray=True\nHideAtMinimazed=False\nBlinkIcon=True\nNoReadBold=False\n"
              "ExitIfMessageFound=False\n[Position]\nTop=1\n"_s;
        QCOMPARE(readIni(), expected);
    }
};

QTEST_GUILESS_MAIN(TestMdlOption)
#include "tst_mdloption.moc"
