#include "app/CommandLine.h"
#include "app/mdlApp.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;

class TestMdlApp : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QByteArray m_home = qgetenv("TESSERA_HOME");

private slots:
    void cleanup() { qputenv("TESSERA_HOME", m_home); }

    void appPathAndTempFiles()
    {
        qputenv("TESSERA_HOME", m_dir.filePath(u"home"_s).toUtf8());
        QCOMPARE(mdlApp::GetAppPath(), m_dir.filePath(u"home/"_s));
        QVERIFY(QFileInfo(m_dir.filePath(u"home"_s)).isDir()); // made when missing
        const QString freeName = mdlApp::GetTempFile(m_dir.path(), u"TSR"_s);
        QVERIFY(freeName.startsWith(m_dir.filePath(u"TSR"_s)));
        QVERIFY(!QFile::exists(freeName));
        QVERIFY(mdlApp::GetTempFile(m_dir.filePath(u"missing"_s), u"TSR"_s).startsWith(QDir::tempPath()));
    }

    void answerInfoOption_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("help");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("afterVersion"); // printed after the version line
        const QString help = u"usage: x\n"_s;
        QTest::newRow("other arguments")
            << QStringList{u"-platform"_s, u"offscreen"_s, u"--versions"_s, u"version"_s, u"-h"_s} << help << false << QString();
        QTest::newRow("version among others") << QStringList{u"file.txt"_s, u"--version"_s} << help << true << QString();
        QTest::newRow("help ends the line") << QStringList{u"--help"_s} << u"usage: x"_s << true << help;
    }

    void answerInfoOption()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, help);
        QFETCH(bool, answered);
        QFETCH(QString, afterVersion);
        QString printed;
        QTextStream out(&printed);
        QCOMPARE(CommandLine::AnswerInfoOption(args, help, out), answered);
        QCOMPARE(printed, answered ? CommandLine::VersionText() + u'\n' + afterVersion : QString());
    }
};

QTEST_GUILESS_MAIN(TestMdlApp)
#include "tst_mdlapp.moc"
