#include "transfer/CMessage.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;

class TestCMessage : public QObject
{
    Q_OBJECT

private slots:
    void keys_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("key");
        QTest::newRow("usual") << 1 << 123 << u"#001000123"_s;
        QTest::newRow("zero") << 0 << 0 << u"#000000000"_s;
        QTest::newRow("widest usual") << 999 << 999999 << u"#999999999"_s;
        QTest::newRow("seven digits") << 1 << 1234567 << u"#0011234567"_s;
        QTest::newRow("largest number") << 18 << std::numeric_limits<int>::max()
                                        << u"#0182147483647"_s;
        QTest::newRow("board over 999") << 1000 << 1 << u"#1000:000001"_s;
        QTest::newRow("negative board") << -1 << 5 << u"#-1:000005"_s;
        QTest::newRow("negative number") << 3 << -5 << u"#003-000005"_s;
        QTest::newRow("smallest") << std::numeric_limits<int>::min()
                                  << std::numeric_limits<int>::min()
                                  << u"#-2147483648:-2147483648"_s;
    }

    void keys()
    {
        QFETCH(int, board);
        QFETCH(int, id);
        QFETCH(QString, key);
        CMessage msg;
        msg.BBS_ID = board;
        msg.ID = id;
        msg.InReplyTo = id;
        QCOMPARE(msg.Key(), key);
        QCOMPARE(msg.ReplyKey(), key);
        const auto parts = CMessage::ParseKey(key);
        QVERIFY(parts);
        QCOMPARE(*parts, (CMessage::KeyParts{board, id}));
    }

    void replyKeyUsesInReplyTo()
    {
        CMessage msg;
        msg.BBS_ID = 7;
        msg.ID = 20;
        msg.InReplyTo = 19;
        QCOMPARE(msg.ReplyKey(), u"#007000019"_s);
    }

    void keysThatAreNotKeys_data()
    {
        QTest::addColumn<QString>("key");
        for (const QString &key :
             {u""_s, u"#"_s, u"001000123"_s, u"#00100012a"_s, u"#01000123"_s, u"#001 00123"_s,
              u"#001+000123"_s, u"#005:000001"_s, u"#1000000001:"_s, u"#00199999999999"_s,
              u"#001000123 "_s, u"#１２３０００１２３"_s, u"#abc000123"_s})
            QTest::newRow(qPrintable(key)) << key;
    }

    void keysThatAreNotKeys()
    {
        QFETCH(QString, key);
        QVERIFY(!CMessage::ParseKey(key));
    }
};

QTEST_GUILESS_MAIN(TestCMessage)
#include "tst_cmessage.moc"
