#include "app/Prompter.h"
#include "app/mdlApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMdlApp : public QObject
{
    Q_OBJECT

private slots:
    void versionAndTitle()
    {
        QCOMPARE(mdlApp::GetVersionString(), u"Ver.0.61"_s);
        QCOMPARE(mdlApp::GetVersionString(true), u"Ver.0.61.0116"_s);
        QCOMPARE(mdlApp::GetAppTitle(), u"Tessera Ver.0.61"_s);
    }

    void appPathFollowsEnvironment()
    {
        QTemporaryDir dir;
        const QByteArray old = qgetenv("TESSERA_HOME");
        qputenv("TESSERA_HOME", (dir.path() + u"/home"_s).toUtf8());
        QCOMPARE(mdlApp::GetAppPath(), dir.path() + u"/home/"_s);
        QVERIFY(QFileInfo(dir.path() + u"/home"_s).isDir());
        qputenv("TESSERA_HOME", old);
    }

    void pathSeparator()
    {
        QCOMPARE(mdlApp::AddPathSeparator(u"/"_s), u"/"_s);
        QCOMPARE(mdlApp::AddPathSeparator(u"cache"_s), u"cache/"_s);
        QCOMPARE(mdlApp::AddPathSeparator(QString()), u"/"_s);
    }

    void toggleBool()
    {
        bool b = false;
        QVERIFY(mdlApp::ToggleBool(b));
        QVERIFY(b);
        QVERIFY(!mdlApp::ToggleBool(b));
    }

    void tempFile()
    {
        QTemporaryDir dir;
        const QString freeName = mdlApp::GetTempFile(dir.path(), u"TSR"_s);
        QVERIFY(freeName.startsWith(dir.path() + u"/TSR"_s));
        QVERIFY(freeName.endsWith(u".tmp"_s));
        QVERIFY(!QFile::exists(freeName));

        const QString withByte = mdlApp::GetTempFile(dir.path(), u"TSR"_s, 0x41);
        QFile f(withByte);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("A"));

        const QString fallback = mdlApp::GetTempFile(dir.path() + u"/missing"_s, u"TSR"_s);
        QVERIFY(fallback.startsWith(QDir::tempPath()));
    }

    void apiAvailable()
    {
        QVERIFY(mdlApp::IsApiAvailable(u"libsqlite3.so.0"_s, u"sqlite3_open"_s));
        QVERIFY(!mdlApp::IsApiAvailable(u"libsqlite3.so.0"_s, u"no_such_function"_s));
        QVERIFY(!mdlApp::IsApiAvailable(u"libno_such_library.so"_s, u"f"_s));
    }

    void scriptedPrompterPolicies()
    {
        ScriptedPrompter p(ScriptedPrompter::Policy::LastButton);
        setPrompter(&p);
        QCOMPARE(prompter().question(u"q"_s, {Prompter::Yes, Prompter::No}, Prompter::Yes), Prompter::No);
        p.pushAnswer(Prompter::Cancel);
        QCOMPARE(prompter().question(u"q"_s, {Prompter::Yes, Prompter::No, Prompter::Cancel},
                                     Prompter::Yes),
                 Prompter::Cancel);
        p.setPolicy(ScriptedPrompter::Policy::DefaultButton);
        QCOMPARE(prompter().question(u"q"_s, {Prompter::Yes, Prompter::No}, Prompter::Yes), Prompter::Yes);
        QCOMPARE(p.records().first().title, u"Tessera Ver.0.61"_s);
        setPrompter(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestMdlApp)
#include "tst_mdlapp.moc"
