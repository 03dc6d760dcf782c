#include "transfer/CMessage.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;

class TestCMessage : public QObject
{
    Q_OBJECT

private slots:
    void keys()
    {
        constexpr int Min = std::numeric_limits<int>::min();
        const QList<std::tuple<int, int, QString>> cases{
            {1, 123, u"#001000123"_s},
            {1, 1234567, u"#0011234567"_s},
            {1000, 1, u"#1000:000001"_s},
            {3, -5, u"#003-000005"_s},
            {Min, Min, u"#-2147483648:-2147483648"_s},
        };
        for (const auto &[board, id, key] : cases) {
            CMessage msg;
            msg.BBS_ID = board;
            msg.ID = id;
            QCOMPARE(msg.Key(), key);
            std::swap(msg.ID, msg.InReplyTo);
            QCOMPARE(msg.ReplyKey(), key);
            QCOMPARE(CMessage::ParseKey(key), std::optional(CMessage::KeyParts{board, id}));
        }
        for (const QString &key :
             {u"001000123"_s, u"#00100012a"_s, u"#01000123"_s, u"#005:000001"_s, u"#00199999999999"_s,
              u"#１２３０００１２３"_s})
            QVERIFY2(!CMessage::ParseKey(key), qPrintable(key));
    }
};

QTEST_GUILESS_MAIN(TestCMessage)
#include "tst_cmessage.moc"
