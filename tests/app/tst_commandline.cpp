#include "app/CommandLine.h"

#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    static bool answer(const QStringList &args, QString &printed, const QString &help = u"usage: x\n"_s)
    {
        QTextStream out(&printed);
        return CommandLine::AnswerInfoOption(args, help, out);
    }

private slots:
    void otherArgumentsAreLeftAlone()
    {
        QString printed;
        QVERIFY(!answer({u"-platform"_s, u"offscreen"_s, u"--versions"_s, u"version"_s, u"-h"_s}, printed));
        QVERIFY(printed.isEmpty());
    }

    void versionAmongOtherArguments()
    {
        QString printed;
        QVERIFY(answer({u"file.txt"_s, u"--version"_s}, printed));
        QCOMPARE(printed, CommandLine::VersionText() + u'\n');
    }

    void helpStartsWithTheVersionAndEndsTheLine()
    {
        QString printed;
        QVERIFY(answer({u"--help"_s}, printed, u"usage: x"_s));
        QCOMPARE(printed, CommandLine::VersionText() + u"\nusage: x\n"_s);
    }

    void firstOfTheTwoWins()
    {
        QString printed;
        QVERIFY(answer({u"--help"_s, u"--version"_s}, printed));
        QVERIFY(printed.endsWith(u"usage: x\n"_s));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
