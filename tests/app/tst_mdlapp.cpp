#include "app/mdlApp.h"

#include <QFile>
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
        QVERIFY(freeName.endsWith(u".tmp"_s));
        QVERIFY(!QFile::exists(freeName));
        QFile withByte(mdlApp::GetTempFile(dir.path(), u"TSR"_s, 0x41));
        QVERIFY(withByte.open(QIODevice::ReadOnly));
        QCOMPARE(withByte.readAll(), QByteArray("A"));
        QVERIFY(mdlApp::GetTempFile(dir.path() + u"/missing"_s, u"TSR"_s).startsWith(QDir::tempPath()));
    }
};

QTEST_GUILESS_MAIN(TestMdlApp)
#include "tst_mdlapp.moc"
