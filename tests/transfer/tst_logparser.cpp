#include "transfer/LogParser.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;
using LogParser::EntryError;

// The layouts of every board type are read through the analysis (tst_cbbs_analyse); here the
// rules of single fields.

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

Q_DECLARE_METATYPE(LogParser::EntryError)

class TestLogParser : public QObject
{
    Q_OBJECT

private slots:
    // Local time here skips 2021-03-28 02:00 to 03:00; dates are wall-clock readings all the same.
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }

    void splitEntries_data()
    {
        const QString sep = LogParser::Separator;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("no separator") << u"A\r\nB"_s << QStringList();
        QTest::newRow("empty entry") << u"A"_s + sep + sep << QStringList{u"A"_s, QString()};
        QTest::newRow("first line without CR LF before it") << sep.mid(2) + u"A"_s + sep
                                                            << QStringList{sep.mid(2) + u"A"_s};
        const QString line = LogParser::SeparatorLine;
        QTest::newRow("blanks and tabs around the line") << u"A\r\n \t"_s + line + u"   \r\nB\r\n"_s + line + u"\t\r\n"_s
                                                         << QStringList{u"A"_s, u"B"_s};
        QTest::newRow("other text on the line") << u"A\r\nx "_s + line + u"\r\nB"_s + sep << QStringList{u"A\r\nx "_s + line + u"\r\nB"_s};
    }

    void splitEntries()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QStringList got;
        for (QStringView piece : LogParser::SplitEntries(text))
            got << piece.toString();
        QCOMPARE(got, entries);
    }

    void pairedSubjectFromBody_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("subject");
        const QString fifty(50, u'あ');
        QTest::newRow("50 characters") << fifty << fifty;
        QTest::newRow("51 characters") << fifty + u'い' << QString(47, u'あ') + u"..."_s;
        QTest::newRow("a surrogate pair at the cut stays whole")
            << QString(46, u'あ') + u"𠮷xxxxx"_s << QString(46, u'あ') + u"..."_s;
    }

    void pairedSubjectFromBody()
    {
        QFETCH(QString, body);
        QFETCH(QString, subject);
        Fields f;
        f.body = body;
        const auto msg = LogParser::ParsePairedEntry(1, entry(1, f), false);
        QCOMPARE(msg.value_or(CMessage()).Subject, subject);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("date"); // invalid: refused
        QTest::newRow("one-digit fields") << u"2001/2/3 1:02:03"_s << at(2001, 2, 3, 1, 2, 3);
        QTest::newRow("hyphens, no seconds") << u"2001-02-03 12:34"_s << at(2001, 2, 3, 12, 34);
        QTest::newRow("kanji, full-width blank") << u"2001年2月3日　12:34"_s << at(2001, 2, 3, 12, 34);
        QTest::newRow("two-digit year") << u"99/12/31 23:59"_s << at(1999, 12, 31, 23, 59);
        QTest::newRow("no blank before the time") << u"2001/02/0312:34"_s << at(2001, 2, 3, 12, 34);
        QTest::newRow("no time") << u"2001/02/03"_s << at(2001, 2, 3);
        QTest::newRow("a time local time skips") << u"2021/03/28 02:30"_s << at(2021, 3, 28, 2, 30);
        QTest::newRow("30 February") << u"2001/02/30"_s << QDateTime();
        QTest::newRow("24:00") << u"2001/02/03 24:00"_s << QDateTime();
        QTest::newRow("time only") << u"12:34"_s << QDateTime();
        QTest::newRow("mixed separators") << u"2001/02-03"_s << QDateTime();
        QTest::newRow("trailing text") << u"2001/02/03 12:34 x"_s << QDateTime();
        QTest::newRow("three-digit year") << u"200/1/1"_s << QDateTime();
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, date);
        QCOMPARE(LogParser::ParseDateTime(text).value_or(QDateTime()), date);
    }

    // Blanks around a number are dropped and the subject stays as written; a date bracket left
    // open runs to the end of the line; an empty reply is none; a NUL stays in the body.
    void fieldRules()
    {
        Fields f{u"　2147483647 "_s, u"2001/02/03 12:34（土"_s, u"  "_s, u"本文\0末尾"_s};
        const auto msg = LogParser::ParseSingleEntry(7, entry(0, f), true);
        QVERIFY(msg);
        QCOMPARE(msg->Key(), u"#0072147483647"_s);
        QCOMPARE(msg->Subject, u"  題名 "_s);
        QCOMPARE(msg->PostDate, at(2001, 2, 3, 12, 34));
        QCOMPARE(msg->InReplyTo, 0);
        QCOMPARE(msg->Body, f.body);
        QCOMPARE(LogParser::ParseSingleEntry(7, entry(0), true).value_or(CMessage()).InReplyTo, 45);
    }

    void brokenEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<EntryError>("error");
        QTest::newRow("letters in the number") << 1 << entry(1, {u"12a"_s}) << EntryError::BadNumber;
        QTest::newRow("letters in the reply") << 3 << entry(3, {u"1"_s, u"2001/02/03（土）1:00"_s, u"4x"_s})
                                              << EntryError::BadNumber;
        QTest::newRow("no date bracket") << 0 << entry(0, {u"1"_s, u"2001/02/03 12:34"_s}) << EntryError::NoDateBracket;
        QTest::newRow("full-width brackets on a text-page board")
            << 3 << entry(3).replace(u'(', u'（').replace(u')', u'）') << EntryError::NoDateBracket;
    }

    void brokenEntries()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(EntryError, error);
        EntryError got = EntryError::None;
        QVERIFY(!LogParser::ParseEntry(type, 1, text, false, &got));
        QCOMPARE(got, error);
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
};

QTEST_GUILESS_MAIN(TestLogParser)
#include "tst_logparser.moc"
