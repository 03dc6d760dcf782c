#include "app/mdlApp.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMdlApp : public QObject
{
    Q_OBJECT

private slots:
    void appPathAndTempFiles()
    {
        QTemporaryDir dir;
        const QByteArray old = qgetenv("TESSERA_HOME");
        qputenv("TESSERA_HOME", (dir.path() + u"/home"_s).toUtf8());
        QCOMPARE(mdlApp::GetAppPath(), dir.path() + u"/home/"_s); // made when missing
        QVERIFY(QFileInfo(dir.path() + u"/home"_s).isDir());
        qputenv("TESSERA_HOME", old);

        const QString freeName = mdlApp::GetTempFile(dir.path(), u"TSR"_s);
        QVERIFY(freeName.startsWith(dir.path() + u"/TSR"_s));
        QVERIFY(!QFile::exists(freeName));
        QFile withByte(mdlApp::GetTempFile(dir.path(), u"TSR"_s, 0x41));
        QVERIFY(withByte.open(QIODevice::ReadOnly));
        QCOMPARE(withByte.readAll(), QByteArray("A"));
        QVERIFY(mdlApp::GetTempFile(dir.path() + u"/missing"_s, u"TSR"_s).startsWith(QDir::tempPath()));
    }

    void newFolderGetsTheInstalledReadMe()
    {
        // The layout of an installation: <prefix>/bin/tessera and <prefix>/share/tessera/ReadMe.txt.
        const QString shared = QCoreApplication::applicationDirPath() + u"/../share/tessera"_s;
        QVERIFY(QDir().mkpath(shared));
        const auto removeShared = qScopeGuard([&shared] { QDir(shared + u"/.."_s).removeRecursively(); });
        QFile installed(shared + u"/ReadMe.txt"_s);
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.write("installed");
        installed.close();
        QTemporaryDir dir;
        const QByteArray old = qgetenv("TESSERA_HOME");
        const auto restoreHome = qScopeGuard([&old] { qputenv("TESSERA_HOME", old); });
        qputenv("TESSERA_HOME", (dir.path() + u"/new"_s).toUtf8());

        QFile copy(mdlApp::GetAppPath() + u"ReadMe.txt"_s);
        QVERIFY(copy.open(QIODevice::ReadWrite));
        QCOMPARE(copy.readAll(), QByteArray("installed"));
        copy.resize(0);
        copy.write("edited");
        copy.close();
        mdlApp::GetAppPath(); // an existing folder keeps its own file
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("edited"));
    }
};

QTEST_GUILESS_MAIN(TestMdlApp)
#include "tst_mdlapp.moc"
