#include "LogGenerator.h"

#include <QBuffer>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLogGenerator : public QObject
{
    Q_OBJECT

private slots:
    void messagesDependOnlyOnSeedAndNumber()
    {
        const LogGenerator generator(7);
        const QList<BoardMessage> run = generator.messages(1, 50);
        QCOMPARE(run.size(), 50);
        QCOMPARE(run.first().number, 50);
        QCOMPARE(run.last().number, 1);
        const BoardMessage again = LogGenerator(7).message(23);
        QCOMPARE(run.at(50 - 23).body, again.body);
        QCOMPARE(run.at(50 - 23).date, again.date);
        QVERIFY(LogGenerator(8).message(23).body != again.body
                || LogGenerator(8).message(23).name != again.name);
    }

    void messagesLookLikeABoardConversation()
    {
        const LogGenerator generator;
        int replies = 0, mails = 0, homePages = 0, multiLine = 0, references = 0;
        QDateTime previous;
        for (int number = 1; number <= 2000; ++number) {
            const BoardMessage message = generator.message(number);
            QVERIFY(!message.subject.isEmpty() && !message.name.isEmpty());
            QVERIFY(!message.body.isEmpty());
            QVERIFY(!previous.isValid() || message.date > previous);
            previous = message.date;
            mails += !message.mail.isEmpty();
            homePages += !message.homePage.isEmpty();
            multiLine += message.body.contains(u"\r\n"_s);
            references += message.body.contains(u">>"_s);
            if (message.replyTo == 0)
                continue;
            ++replies;
            QVERIFY(message.replyTo < number && message.replyTo >= number - 30);
            const BoardMessage parent = generator.message(message.replyTo);
            if (parent.replyTo == 0) {
                QCOMPARE(message.subject, u"Re: "_s + parent.subject);
                QVERIFY(message.body.startsWith(u"> "_s + parent.body.section(u"\r\n"_s, 0, 0)));
            }
        }
        for (int count : {replies, mails, homePages, multiLine, references})
            QVERIFY2(count > 100 && count < 1900, qPrintable(QString::number(count)));
    }

    void logTextsSurviveTheBoardEncodings()
    {
        const LogGenerator generator(3);
        for (int type = 0; type <= 3; ++type) {
            const QString text = generator.text(type, 1, 400);
            QCOMPARE(text.count(LogFormat::separator()), 400);
            for (const char *codec : {"CP932", "EUC-JP"}) {
                QStringEncoder encoder(codec);
                const QByteArray bytes = encoder.encode(text);
                QVERIFY2(!encoder.hasError(), codec);
                QStringDecoder decoder(codec);
                QCOMPARE(QString(decoder.decode(bytes)), text);
            }
        }
    }

    void writingInBatchesGivesTheWholeText()
    {
        const LogGenerator generator(5);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(generator.write(buffer, 1, 5, 2500));
        QCOMPARE(buffer.data(), generator.cp932(1, 5, 2500));
    }
};

QTEST_GUILESS_MAIN(TestLogGenerator)
#include "tst_loggenerator.moc"
