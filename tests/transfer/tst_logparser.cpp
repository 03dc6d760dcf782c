#include "transfer/LogParser.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;
using LogParser::EntryError;

namespace {

const QString Body = u"一行目\r\n\r\n三行目 <b>&amp;</b>"_s;

struct Fields
{
    QString id = u"123"_s;
    QString date = u"2001/02/03（土）12:34:56"_s;
    QString reply = u" 45 "_s;
    QString body = Body;
};

/** An entry of board type @p type, labels of full-width characters in the boards' widths. */
QString entry(int type, Fields f = {})
{
    if (type == 3)
        f.date.replace(u'（', u'(').replace(u'）', u')');
    QStringList lines{u"[記事番号]："_s + f.id, u"[件名]　：  題名 "_s, u"[ホームページ]　："_s,
                      u"[メール]　：a@b"_s, u"[投稿者]　：名前"_s, u"[投稿日]　："_s + f.date,
                      u"[返信先番号]："_s + f.reply, u"------"_s, f.body};
    if (type == 1 || type == 2)
        lines.removeAt(1);
    if (type == 3)
        lines.insert(6, u"------"_s);
    return lines.join(u"\r\n"_s);
}

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return CMessage::WallClock(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace

class TestLogParser : public QObject
{
    Q_OBJECT

private slots:
    void splitEntries()
    {
        const QString sep = LogParser::Separator;
        const QList<std::pair<QString, QStringList>> cases{
            {u"A\r\nB"_s, {}}, // no separator
            {u"A\r\n"_s + sep + u"B"_s + sep + u"tail"_s, {u"A\r\n"_s, u"B"_s}},
            {u"A"_s + sep + sep, {u"A"_s, QString()}},
            {sep.mid(2) + u"A"_s + sep, {sep.mid(2) + u"A"_s}}, // no CR LF before the first line
        };
        for (const auto &[text, entries] : cases) {
            QStringList got;
            for (QStringView piece : LogParser::SplitEntries(text))
                got << piece.toString();
            QCOMPARE(got, entries);
        }
    }

    void pairedSubjectFromBody()
    {
        const QString fifty(50, u'あ');
        const QList<std::pair<QString, QString>> cases{
            {fifty, fifty},
            {fifty + u'い', QString(47, u'あ') + u"..."_s},
            {QString(46, u'あ') + u"𠮷xxxxx"_s, QString(46, u'あ') + u"..."_s}, // pair kept whole
        };
        for (const auto &[body, subject] : cases) {
            Fields f;
            f.body = body;
            const auto msg = LogParser::ParsePairedEntry(1, entry(1, f), false);
            QCOMPARE(msg.value_or(CMessage()).Subject, subject);
        }
    }

    void dates()
    {
        const QList<std::pair<QString, QDateTime>> good{
            {u"2001/2/3 1:02:03"_s, at(2001, 2, 3, 1, 2, 3)},
            {u"2001-02-03 12:34"_s, at(2001, 2, 3, 12, 34)},
            {u"2001年2月3日　12:34"_s, at(2001, 2, 3, 12, 34)},
            {u"99/12/31 23:59"_s, at(1999, 12, 31, 23, 59)},
            {u"2001/02/0312:34"_s, at(2001, 2, 3, 12, 34)},
            {u"2001/02/03"_s, at(2001, 2, 3)},
        };
        for (const auto &[text, expected] : good)
            QCOMPARE(LogParser::ParseDateTime(text), std::optional(expected));
        for (const QString &bad :
             {u"2001/02/30"_s, u"2001/02/03 24:00"_s, u"12:34"_s, u"2001/02-03"_s, u"2001/02/03 12:34 x"_s, u"200/1/1"_s})
            QVERIFY2(!LogParser::ParseDateTime(bad), qPrintable(bad));

        // A wall-clock time that daylight saving skips is kept.
        const QByteArray oldZone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        const auto t = LogParser::ParseDateTime(u"2021/03/28 02:30"_s);
        qputenv("TZ", oldZone);
        QVERIFY(t);
        QVERIFY(t->isValid());
        QCOMPARE(t->toString(u"yyyy-MM-dd HH:mm:ss"_s), u"2021-03-28 02:30:00"_s);
    }

    // Labels in the boards' widths; blanks around the number are dropped, the subject stays as written.
    void entryRules()
    {
        for (int type = 0; type <= 3; ++type) {
            const auto msg = LogParser::ParseEntry(type, 7, entry(type, {u"　2147483647 "_s}), true);
            QVERIFY(msg);
            QCOMPARE(msg->Key(), u"#0072147483647"_s);
            QCOMPARE(msg->Subject, type == 1 || type == 2 ? Body : u"  題名 "_s);
            QCOMPARE(msg->Mail, u"a@b"_s);
            QCOMPARE(msg->PostName, u"名前"_s);
            QCOMPARE(msg->InReplyTo, 45);
            QCOMPARE(msg->Body, Body);
            QCOMPARE(msg->PostDate, at(2001, 2, 3, 12, 34, 56));
        }
        Fields f;
        f.date = u"2001/02/03 12:34（土"_s; // no closing bracket: cut to the end of the line
        f.reply = u"  "_s;
        f.body = u"本文\0末尾"_s;
        const auto msg = LogParser::ParseSingleEntry(1, entry(0, f), false);
        QVERIFY(msg);
        QCOMPARE(msg->PostDate, at(2001, 2, 3, 12, 34));
        QCOMPARE(msg->InReplyTo, 0);
        QCOMPARE(msg->Body, f.body);
    }

    void brokenEntries()
    {
        for (int type = 0; type <= 4; ++type) {
            const auto with = [type](const Fields &f) { return entry(type, f); };
            QList<std::pair<QString, EntryError>> cases{
                {entry(type).chopped(Body.size() + 2), EntryError::TooFewLines},
                {with({u"12a"_s}), EntryError::BadNumber},
                {with({u"2147483648"_s}), EntryError::BadNumber},
                {with({u"1"_s, u"2001/02/03（土）1:00"_s, u"4x"_s}), EntryError::BadNumber},
                {with({u"1"_s, u"2001/02/03 12:34"_s}), EntryError::NoDateBracket},
                {with({u"1"_s, u"2001/13/45（土）12:00"_s}), EntryError::BadDate},
            };
            if (type == 3) // full-width brackets on a text-page board
                cases.append({entry(3).replace(u'(', u'（').replace(u')', u'）'),
                              EntryError::NoDateBracket});
            for (const auto &[text, expected] : cases) {
                EntryError error = EntryError::None;
                QVERIFY(!LogParser::ParseEntry(type, 1, text, false, &error));
                QCOMPARE(error, type == 4 ? EntryError::UnknownBoardType : expected);
            }
        }
    }

    void keys_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("key");
        constexpr int Min = std::numeric_limits<int>::min();
        QTest::newRow("board 1") << 1 << 123 << u"#001000123"_s;
        QTest::newRow("seven-digit number") << 1 << 1234567 << u"#0011234567"_s;
        QTest::newRow("board 999, the last of three digits") << 999 << 1 << u"#999000001"_s;
        QTest::newRow("board 1000, closed by a colon") << 1000 << 1 << u"#1000:000001"_s;
        QTest::newRow("negative number") << 3 << -5 << u"#003-000005"_s;
        QTest::newRow("smallest numbers") << Min << Min << u"#-2147483648:-2147483648"_s;
    }

    void keys()
    {
        QFETCH(int, board);
        QFETCH(int, id);
        QFETCH(QString, key);
        CMessage msg;
        msg.BBS_ID = board;
        msg.ID = id;
        QCOMPARE(msg.Key(), key);
        std::swap(msg.ID, msg.InReplyTo);
        QCOMPARE(msg.ReplyKey(), key);
        QCOMPARE(CMessage::ParseKey(key), std::optional(CMessage::KeyParts{board, id}));
    }

    void keysThatAreNotCanonicalAreRefused()
    {
        for (const QString &key :
             {u"001000123"_s, u"#00100012a"_s, u"#01000123"_s, u"#005:000001"_s, u"#999:000001"_s,
              u"#00199999999999"_s, u"#１２３０００１２３"_s})
            QVERIFY2(!CMessage::ParseKey(key), qPrintable(key));
    }
};

QTEST_GUILESS_MAIN(TestLogParser)
#include "tst_logparser.moc"
