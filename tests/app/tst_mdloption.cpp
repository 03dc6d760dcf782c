#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlEncoding.h"
#include "app/mdlOption.h"
#include "startup/mdlMain.h"
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
    const QString m_iniPath = m_home.filePath(u"tessera.ini"_s);
    std::unique_ptr<Database> m_db;
    ScriptedPrompter m_prompter;
    CIniFile m_ini;

    /** Loads the options from a settings file holding @p text. */
    void load(const QString &text)
    {
        QFile f(m_iniPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(mdlMain::ToCp932(text)) >= 0);
        f.close();
        QVERIFY(m_ini.Load(m_iniPath));
        mdlMain::LoadOption(m_ini, *m_db);
    }

    QString readIni() const
    {
        QFile f(m_iniPath);
        return f.open(QIODevice::ReadOnly) ? mdlMain::FromCp932(f.readAll()).remove(u'\r') : QString();
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
        m_ini = CIniFile();
        m_db.reset();
        QFile::remove(m_home.filePath(u"log.mdb"_s));
        m_db = mdlDatabase::CreateLogDatabase(m_home.filePath(u"log.mdb"_s));
        QVERIFY(m_db);
    }

    void rangeRulesAndBlankText()
    {
        load(u"[Option]\nInterval=120\nAddMax=1000\nReadTiming=0"_s);
        QCOMPARE((QList<int>{Interval, AddMax, ReadTiming, Timeout}), (QList<int>{120, 1000, 0, 60}));
        load(u"[Option]\nInterval=9\nAddMax=1001\nReadTiming=x\nTimeout=4294967396\nReplyHeader= \nDateFormat="_s);
        QCOMPARE((QList<int>{Interval, AddMax, ReadTiming, Timeout}), (QList<int>{30, 100, 1500, 60}));
        QCOMPARE(ReplyHeader + DateFormat, u"%s#%I %S より引用\\n%Byyyy/mm/dd hh:nn"_s);
    }

    void boardMustBeListed()
    {
        load(u"[Option]\nBBS_ID=5\n"_s);
        QCOMPARE(BBS_ID, 5);
        QVERIFY(m_db->Execute(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID = 5"_s));
        mdlMain::LoadOption(m_ini, *m_db);
        QCOMPARE(BBS_ID, 3); // board 3 has the smallest ListOrder, 0
        QVERIFY(m_db->Execute(u"UPDATE BBS SET ListOrder = -1"_s));
        mdlMain::LoadOption(m_ini, *m_db);
        QCOMPARE(BBS_ID, 0);
    }

    void webSearchDefaultsOnlyWithoutTheSection()
    {
        load(u"[Option]\nAddMax=5\n"_s);
        InitWebSearch(m_ini);
        QVERIFY(readIni().startsWith(u"[Option]\nAddMax=5\n[WebSearch]\n"
                                     "Googleで検索(&G)...=https://www.google.com/search?q=%s&num=100\n"_s));
        QCOMPARE(m_ini.Keys().size(), 3);

        load(u"[WebSearch]\n[Option]\n"_s);
        InitWebSearch(m_ini);
        QVERIFY(m_ini.Keys().isEmpty());
        QCOMPARE(readIni(), u"[WebSearch]\n[Option]\n"_s);
    }

    void folderCheck()
    {
        const QString cache = m_home.filePath(u"c1"_s);
        IconFilePath = m_home.path();
        CacheFilePath = cache;
        ErrorLogFilePath = u"  "_s;
        m_prompter.pushAnswer(Prompter::No);
        QVERIFY(!CheckFolders());
        // Blank is the default folder, not "/".
        QCOMPARE((QStringList{IconFilePath, CacheFilePath, ErrorLogFilePath}),
                 (QStringList{m_home.path() + u'/', cache + u'/', mdlApp::GetAppPath()}));
        QVERIFY(!QDir(cache).exists());
        QCOMPARE(m_prompter.texts(),
                 QStringList{u"キャッシュフォルダ\""_s + cache + u"/\"は存在しません。\n作成しますか？"_s});
        // Asked again at the next check; Yes creates the folder with its parents.
        CacheFilePath = cache + u"/deep/er"_s;
        m_prompter.pushAnswer(Prompter::Yes);
        QVERIFY(CheckFolders());
        QVERIFY(QDir(cache + u"/deep/er"_s).exists());
    }

    void saveOrderAndFormat()
    {
        load(u"[Option]\nNoReadBold=0\nExtra=x\nBBS_ID=4\nTimer=True\nInterval=60.4\n[Position]\nTop=1\n"_s);
        QVERIFY(!Timer);
        SaveOption(m_ini);
        QVERIFY(readIni().startsWith(u"[Option]\nExtra=x\nBBS_ID=4\nTimer=False\nInterval=60\nAddMax=100\n"_s));
        QCOMPARE(m_ini.Keys().join(u' '),
                 u"Extra BBS_ID Timer Interval AddMax ReadTiming ReplyHeader DateFormat Timeout "
                 "SaveSQLDialogPosition SaveLoadDialogPosition AutoCloseImportDialog UseRegExp "
                 "IgnoreCase ImportReadMode ErrorLogFilePath CacheFilePath IconFilePath AddTaskTray "
                 "HideAtMinimazed BlinkIcon NoReadBold ExitIfMessageFound"_s);
        Timer = true; // switched on while running: kept
        SaveOption(m_ini);
        QVERIFY(readIni().contains(u"\nTimer=True\n"_s));
    }
};

QTEST_GUILESS_MAIN(TestMdlOption)
#include "tst_mdloption.moc"
