#include "app/CommandLine.h"

#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("first of the two wins") << QStringList{u"--help"_s, u"--version"_s} << help << true << help;
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

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
