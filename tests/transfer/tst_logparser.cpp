#include "transfer/LogParser.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using LogParser::EntryError;

Q_DECLARE_METATYPE(LogParser::EntryError)

namespace {

// Labels of the widths the boards use, made of full-width characters.
const QString IdLabel = u"[記事番号]："_s; // 7
const QString SubjectLabel = u"[件名]　："_s; // 6
const QString HomePageLabel = u"[ホームページ]　："_s; // 10
const QString MailLabel = u"[メール]　："_s; // 7
const QString NameLabel = u"[投稿者]　："_s; // 7
const QString DateLabel = u"[投稿日]　："_s; // 7
const QString ReplyLabel = u"[返信先番号]："_s; // 8
const QString Rule = u"----------"_s;
const QString Body = u"一行目\r\n\r\n三行目 <b>&amp;</b>"_s;

struct Fields
{
    QString id = u"123"_s;
    QString date = u"2001/02/03（土）12:34:56"_s;
    QString reply = u" 45 "_s;
    QString body = Body;
};

QString single(const Fields &f = {})
{
    return QStringList{IdLabel + f.id, SubjectLabel + u" 題名 "_s, HomePageLabel + u"http://h/"_s,
                       MailLabel + u"a@b"_s, NameLabel + u"名前"_s, DateLabel + f.date,
                       ReplyLabel + f.reply, Rule, f.body}
        .join(u"\r\n"_s);
}

QString paired(const Fields &f = {})
{
    return QStringList{IdLabel + f.id, HomePageLabel + u"http://h/"_s, MailLabel + u"a@b"_s,
                       NameLabel + u"名前"_s, DateLabel + f.date, ReplyLabel + f.reply, Rule, f.body}
        .join(u"\r\n"_s);
}

QString textPage(Fields f = {})
{
    f.date.replace(u'（', u'(').replace(u'）', u')');
    return QStringList{IdLabel + f.id, SubjectLabel + u" 題名 "_s, HomePageLabel + u"http://h/"_s,
                       MailLabel + u"a@b"_s, NameLabel + u"名前"_s, DateLabel + f.date, Rule,
                       ReplyLabel + f.reply, Rule, f.body}
        .join(u"\r\n"_s);
}

QString entryOfType(int type, const Fields &f)
{
    return type == 0 ? single(f) : type == 3 ? textPage(f) : paired(f);
}

} // namespace

class TestLogParser : public QObject
{
    Q_OBJECT

private slots:
    void splitEntries_data()
    {
        const QString sep = LogParser::Separator;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("no separator") << u"A\r\nB"_s << QStringList();
        QTest::newRow("one") << u"A\r\nB"_s + sep << QStringList{u"A\r\nB"_s};
        QTest::newRow("tail ignored") << u"A"_s + sep + u"B"_s + sep + u"tail"_s
                                      << QStringList{u"A"_s, u"B"_s};
        QTest::newRow("empty entry") << u"A"_s + sep + sep << QStringList{u"A"_s, QString()};
        QTest::newRow("body line break kept") << u"A\r\n"_s + sep << QStringList{u"A\r\n"_s};
        QTest::newRow("line at start is no separator")
            << LogParser::SeparatorLine + u"\r\nA"_s + sep
            << QStringList{LogParser::SeparatorLine + u"\r\nA"_s};
        QTest::newRow("LF only") << QString(sep).replace(u"\r\n"_s, u"\n"_s) << QStringList();
        QTest::newRow("blank after line") << u"A\r\n"_s + LogParser::SeparatorLine + u" \r\n"_s
                                          << QStringList();
    }

    void splitEntries()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QStringList got;
        for (QStringView entry : LogParser::SplitEntries(text))
            got << entry.toString();
        QCOMPARE(got, entries);
    }

    void layouts_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("subject");
        QTest::newRow("single") << 0 << u" 題名 "_s;
        QTest::newRow("paired left") << 1 << Body;
        QTest::newRow("paired right") << 2 << Body;
        QTest::newRow("text page") << 3 << u" 題名 "_s;
    }

    void layouts()
    {
        QFETCH(int, type);
        QFETCH(QString, subject);
        EntryError error = EntryError::BadDate;
        const auto msg = LogParser::ParseEntry(type, 7, entryOfType(type, {}), true, &error);
        QVERIFY(msg);
        QCOMPARE(error, EntryError::None);
        QCOMPARE(msg->BBS_ID, 7);
        QCOMPARE(msg->ID, 123);
        QCOMPARE(msg->Subject, subject);
        QCOMPARE(msg->HomePage, u"http://h/"_s);
        QCOMPARE(msg->Mail, u"a@b"_s);
        QCOMPARE(msg->PostName, u"名前"_s);
        QCOMPARE(msg->PostDate, CMessage::WallClock(QDate(2001, 2, 3), QTime(12, 34, 56)));
        QCOMPARE(msg->InReplyTo, 45);
        QCOMPARE(msg->Body, Body);
        QVERIFY(msg->Read);
        QCOMPARE(msg->Mark, 0);
        QCOMPARE(msg->RootThread, 0);
    }

    void valueEmptyWhenLineNotLongerThanLabel()
    {
        QString entry = single();
        entry.replace(MailLabel + u"a@b"_s, u"[メール]"_s).replace(u"http://h/"_s, QString());
        const auto msg = LogParser::ParseSingleEntry(1, entry, false);
        QVERIFY(msg);
        QCOMPARE(msg->Mail, QString());
        QCOMPARE(msg->HomePage, QString());
    }

    void subjectFromBody_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("subject");
        const QString fifty = QString(50, u'あ');
        QTest::newRow("50 kept") << fifty << fifty;
        QTest::newRow("51 cut") << fifty + u'い' << QString(47, u'あ') + u"..."_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("surrogate pair not split")
            << QString(46, u'あ') + u"𠮷"_s + QString(10, u'x') << QString(46, u'あ') + u"..."_s;
    }

    void subjectFromBody()
    {
        QFETCH(QString, body);
        QFETCH(QString, subject);
        Fields f;
        f.body = body;
        const auto msg = LogParser::ParsePairedEntry(1, paired(f), false);
        QVERIFY(msg);
        QCOMPARE(msg->Subject, subject);
        QCOMPARE(msg->Body, body);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime noon = CMessage::WallClock(QDate(2001, 2, 3), QTime(12, 34));
        QTest::newRow("usual") << u"2001/02/03 12:34"_s << noon;
        QTest::newRow("short parts") << u"2001/2/3 1:02:03"_s
                                     << CMessage::WallClock(QDate(2001, 2, 3), QTime(1, 2, 3));
        QTest::newRow("hyphens") << u"2001-02-03 12:34"_s << noon;
        QTest::newRow("kanji") << u"2001年2月3日　12:34"_s << noon;
        QTest::newRow("two-digit year 01") << u" 01/02/03 12:34 "_s << noon;
        QTest::newRow("two-digit year 99") << u"99/12/31 23:59"_s
                                           << CMessage::WallClock(QDate(1999, 12, 31), QTime(23, 59));
        QTest::newRow("no blank") << u"2001/02/0312:34"_s << noon;
        QTest::newRow("date only") << u"2001/02/03"_s << CMessage::WallClock(QDate(2001, 2, 3), QTime(0, 0));
        for (const QString &bad :
             {u""_s, u"2001/13/45 12:00"_s, u"2001/02/30"_s, u"2001/02/03 24:00"_s,
              u"2001/02/03 12:60"_s, u"2001/02/03 12:34:56:07"_s, u"12:34"_s, u"2001/02-03"_s,
              u"2001/02/03 12"_s, u"2001/02/03 12:34 x"_s, u"200/1/1"_s, u"2001年2月3 1:00"_s})
            QTest::newRow(qPrintable(u"bad "_s + bad)) << bad << QDateTime();
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(LogParser::ParseDateTime(text).value_or(QDateTime()), expected);
    }

    void dateSkippedByDaylightSavingIsKept()
    {
        const QByteArray oldZone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        const auto t = LogParser::ParseDateTime(u"2021/03/28 02:30"_s);
        qputenv("TZ", oldZone);
        QVERIFY(t && t->isValid());
        QCOMPARE(t->toString(u"yyyy-MM-dd HH:mm:ss"_s), u"2021-03-28 02:30:00"_s);
    }

    void brokenEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<EntryError>("error");
        for (int type : {0, 1, 3}) {
            const auto row = [type](const char *name) {
                return &(QTest::addRow("type %d %s", type, name) << type);
            };
            const auto with = [type](auto member, const QString &value) {
                Fields f;
                f.*member = value;
                return entryOfType(type, f);
            };
            *row("empty") << QString() << EntryError::TooFewLines;
            *row("no body line") << with(&Fields::body, u"x"_s).chopped(3) << EntryError::TooFewLines;
            *row("id letters") << with(&Fields::id, u"12a"_s) << EntryError::BadNumber;
            *row("id empty") << with(&Fields::id, QString()) << EntryError::BadNumber;
            *row("id negative") << with(&Fields::id, u"-5"_s) << EntryError::BadNumber;
            *row("id over 2^31") << with(&Fields::id, u"2147483648"_s) << EntryError::BadNumber;
            *row("id with NUL") << with(&Fields::id, u"12\0"_s) << EntryError::BadNumber;
            *row("reply letters") << with(&Fields::reply, u"4x"_s) << EntryError::BadNumber;
            *row("no bracket") << with(&Fields::date, u"2001/02/03 12:34"_s)
                               << EntryError::NoDateBracket;
            *row("bad date") << with(&Fields::date, u"2001/13/45（土）12:00"_s)
                             << EntryError::BadDate;
        }
        QTest::newRow("type 3 full-width brackets")
            << 3 << textPage().replace(u'(', u'（').replace(u')', u'）')
            << EntryError::NoDateBracket;
        QTest::newRow("type 4") << 4 << single() << EntryError::UnknownBoardType;
        QTest::newRow("type -1") << -1 << single() << EntryError::UnknownBoardType;
    }

    void brokenEntries()
    {
        QFETCH(int, type);
        QFETCH(QString, entry);
        QFETCH(EntryError, error);
        EntryError got = EntryError::None;
        QVERIFY(!LogParser::ParseEntry(type, 1, entry, false, &got));
        QCOMPARE(got, error);
    }

    void numberAndReplyLimits()
    {
        Fields f;
        f.id = u"　2147483647 "_s;
        f.reply = u"  "_s;
        f.body = u"本文\0末尾"_s;
        const auto msg = LogParser::ParseSingleEntry(1, single(f), false);
        QVERIFY(msg);
        QCOMPARE(msg->ID, 2147483647);
        QCOMPARE(msg->InReplyTo, 0);
        QCOMPARE(msg->Body, f.body);
        QCOMPARE(msg->Key(), u"#0012147483647"_s);
    }

    void missingClosingBracketEndsTheLine()
    {
        Fields f;
        f.date = u"2001/02/03 12:34（土"_s;
        const auto msg = LogParser::ParseSingleEntry(1, single(f), false);
        QVERIFY(msg);
        QCOMPARE(msg->PostDate, CMessage::WallClock(QDate(2001, 2, 3), QTime(12, 34)));
    }

    void randomTextNeverCrashes()
    {
        QRandomGenerator rng(20240607);
        const QString pieces[] = {LogParser::Separator, u"\r\n"_s, u"（"_s, u"）"_s,
                                  u"("_s, u")"_s, u"2001/02/03"_s, u"12:34"_s, u"123"_s};
        for (int round = 0; round < 2000; ++round) {
            QString text;
            for (int n = rng.bounded(60); n > 0; --n) {
                if (rng.bounded(3) == 0)
                    text += pieces[rng.bounded(int(std::size(pieces)))];
                else
                    text += QChar(char16_t(rng.bounded(0x10000)));
            }
            for (QStringView entry : LogParser::SplitEntries(text))
                for (int type = 0; type <= 3; ++type) {
                    EntryError error = EntryError::None;
                    const auto msg = LogParser::ParseEntry(type, 1, entry, false, &error);
                    QCOMPARE(bool(msg), error == EntryError::None);
                }
        }
    }

    void largeLogSplitsAndParsesInLinearTime()
    {
        const int count = 20000;
        const QString entry = single() + LogParser::Separator;
        QString text;
        text.reserve(entry.size() * count);
        for (int i = 0; i < count; ++i)
            text += entry;
        QElapsedTimer timer;
        timer.start();
        int parsed = 0;
        for (QStringView e : LogParser::SplitEntries(text))
            parsed += LogParser::ParseSingleEntry(1, e, false).has_value();
        qInfo("%d entries (%lld characters) in %lld ms", count, qlonglong(text.size()),
              qlonglong(timer.elapsed()));
        QCOMPARE(parsed, count);
        QVERIFY(timer.elapsed() < 5000);
    }
};

QTEST_GUILESS_MAIN(TestLogParser)
#include "tst_logparser.moc"
