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
        QCOMPARE((QList<int>{BBS_ID, Interval, AddMax, ReadTiming, Timeout}), (QList<int>{3, 30, 100, 1500, 60}));
        QCOMPARE(ReplyHeader, u"%s#%I %S より引用\\n%B"_s);
        QCOMPARE(DateFormat, u"yyyy/mm/dd hh:nn"_s);
        QCOMPARE(ErrorLogFilePath, mdlApp::GetAppPath());
        QCOMPARE(CacheFilePath, mdlApp::GetAppPath() + u"cache/"_s);
        QCOMPARE(IconFilePath, mdlApp::GetAppPath() + u"image/"_s);
        QVERIFY(SaveSQLDialogPosition && SaveLoadDialogPosition && UseRegExp && IgnoreCase);
        QVERIFY(AddTaskTray && BlinkIcon && NoReadBold);
        QVERIFY(!Timer && !AutoCloseImportDialog && !ImportReadMode && !HideAtMinimazed && !ExitIfMessageFound);
    }

    void rangeRules()
    {
        const struct
        {
            QString line;
            const int &value;
            int expected;
        } cases[] = {
            {u"Interval=5"_s, Interval, 30},   {u"Interval=120"_s, Interval, 120},
            {u"Interval=121"_s, Interval, 30}, {u"AddMax=0"_s, AddMax, 100},
            {u"AddMax=1000"_s, AddMax, 1000},  {u"AddMax=1001"_s, AddMax, 100},
            {u"AddMax=viel"_s, AddMax, 100},   {u"AddMax=4294967396"_s, AddMax, 100},
            {u"ReadTiming=-1"_s, ReadTiming, 1500}, {u"ReadTiming=0"_s, ReadTiming, 0},
            {u"Timeout=-1"_s, Timeout, 60},
        };
        for (const auto &c : cases) {
            CIniFile ini;
            load(u"[Option]\n"_s + c.line, ini);
            QVERIFY2(c.value == c.expected, qPrintable(c.line));
        }
    }

    void boardMustBeListed()
    {
        CIniFile ini;
        const QString hide = u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID = %1"_s;
        load(u"[Option]\nBBS_ID=5\n"_s, ini);
        QCOMPARE(BBS_ID, 5);
        QVERIFY(m_db->Execute(hide.arg(5)));
        LoadOption(ini, *m_db);
        QCOMPARE(BBS_ID, 3); // board 3 has the smallest ListOrder, 0
        QVERIFY(m_db->Execute(hide.arg(3)));
        LoadOption(ini, *m_db);
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

        // Asked again at the next check; Yes creates the folder with its parents.
        CacheFilePath = cache + u"/deep/er"_s;
        m_prompter.pushAnswer(Prompter::Yes);
        QVERIFY(CheckFolders());
        QCOMPARE(m_prompter.records().size(), 2);
        QVERIFY(QDir(cache + u"/deep/er"_s).exists());
    }

    void saveOrderAndFormat()
    {
        CIniFile ini;
        load(u"[Option]\nNoReadBold=0\nExtra=x\nBBS_ID=4\nTimer=True\nInterval=60.4\n[Position]\nTop=1\n"_s, ini);
        QVERIFY(!Timer);
        SaveOption(ini);
        QVERIFY(readIni().endsWith(u"NoReadBold=False\nExitIfMessageFound=False\n[Position]\nTop=1\n"_s));
        CIniFile saved;
        saved.Load(iniPath());
        saved.setNowSection(u"Option"_s);
        QCOMPARE(saved.Keys().join(u' '),
                 u"Extra BBS_ID Timer Interval AddMax ReadTiming ReplyHeader DateFormat Timeout "
                 "SaveSQLDialogPosition SaveLoadDialogPosition AutoCloseImportDialog UseRegExp "
                 "IgnoreCase ImportReadMode ErrorLogFilePath CacheFilePath IconFilePath AddTaskTray "
                 "HideAtMinimazed BlinkIcon NoReadBold ExitIfMessageFound"_s);
        QCOMPARE(saved.Data(u"BBS_ID"_s) + saved.Data(u"Interval"_s) + saved.Data(u"UseRegExp"_s), u"460True"_s);
        QCOMPARE(saved.Data(u"Timer"_s), u"False"_s);
        QCOMPARE(saved.Data(u"ReplyHeader"_s), ReplyHeader);
        Timer = true; // switched on while running: kept
        SaveOption(ini);
        QVERIFY(readIni().contains(u"\nTimer=True\n"_s));
    }
};

QTEST_GUILESS_MAIN(TestMdlOption)
#include "tst_mdloption.moc"
