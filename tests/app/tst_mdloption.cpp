#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlEncoding.h"
#include "app/mdlOption.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;
using namespace mdlOption;

class TestMdlOption : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    const QString m_iniPath = m_home.filePath(u"tessera.ini"_s);
    ScriptedPrompter m_prompter;
    CIniFile m_ini;
    std::optional<OptionsGuard> m_options; // every test changes options

    /** Loads the options from a settings file holding @p text. */
    void load(const QString &text)
    {
        writeFile(m_iniPath, mdlMain::ToCp932(text));
        QVERIFY(m_ini.Load(m_iniPath));
        LoadOption(m_ini);
    }

    QString readIni() const { return mdlMain::FromCp932(readFile(m_iniPath)).remove(u'\r'); }

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
        m_options.emplace();
    }

    void cleanup() { m_options.reset(); }

    void rangeRulesAndBlankText()
    {
        load(u"[Option]\nInterval=120\nAddMax=1000\nReadTiming=0"_s);
        QCOMPARE(Interval, 120);
        QCOMPARE(AddMax, 1000);
        QCOMPARE(ReadTiming, 0);
        QCOMPARE(Timeout, 60); // missing: the default
        load(u"[Option]\nInterval=9\nAddMax=1001\nReadTiming=x\nReplyHeader= "_s);
        QCOMPARE(Interval, 30);     // below the range: the default
        QCOMPARE(AddMax, 100);      // above the range: the default
        QCOMPARE(ReadTiming, 1500); // not a number: the default
        QCOMPARE(ReplyHeader, u"%s#%I %S より引用\\n%B"_s); // blank text: the default
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
        QCOMPARE(IconFilePath, m_home.path() + u'/');
        QCOMPARE(CacheFilePath, cache + u'/');
        QCOMPARE(ErrorLogFilePath, mdlApp::GetAppPath());
        QVERIFY(!QDir(cache).exists());
        QCOMPARE(m_prompter.texts(),
                 QStringList{u"キャッシュフォルダ\""_s + cache + u"/\"は存在しません。\n作成しますか？"_s});
    }

    void aFolderThatCannotBeMadeIsSaid()
    {
        writeFile(m_home.filePath(u"afile"_s), "x");
        const QString blocked = m_home.filePath(u"afile/cache"_s);
        IconFilePath = m_home.path();
        CacheFilePath = blocked;
        ErrorLogFilePath = m_home.path();
        m_prompter.pushAnswer(Prompter::Yes);
        QVERIFY(!CheckFolders());
        QCOMPARE(m_prompter.texts().size(), 2);
        QVERIFY(m_prompter.texts().last().startsWith(u"キャッシュフォルダ\""_s + blocked + u"/\"を作成できませんでした。"_s));
    }

    void saveOrderAndFormat()
    {
        load(u"[Option]\nNoReadBold=0\nExtra=x\nBBS_ID=4\nTimer=True\nInterval=60.4\n[Position]\nTop=1\n"_s);
        QVERIFY(!Timer);
        QVERIFY(SaveOption(m_ini));
        QVERIFY(readIni().startsWith(u"[Option]\nExtra=x\nBBS_ID=4\nTimer=False\nInterval=60\nAddMax=100\n"_s));
        Timer = true; // switched on while running: kept
        QVERIFY(SaveOption(m_ini));
        QVERIFY(readIni().contains(u"\nTimer=True\n"_s));
    }
};

QTEST_GUILESS_MAIN(TestMdlOption)
#include "tst_mdloption.moc"
