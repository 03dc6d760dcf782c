#include "support/LogFormat.h"

#include <QStringEncoder>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

// Labels of the single and paired boards (full-width characters count one each).
const QString NumberLabel = u"記事番号　：　"_s;       // 7
const QString SubjectLabel = u"題名　　：　"_s;        // 6
const QString HomePageLabel = u"ホームページ　　：　"_s; // 10
const QString MailLabel = u"メール　　：　"_s;         // 7
const QString NameLabel = u"投稿者　　：　"_s;         // 7
const QString DateLabel = u"投稿日　　：　"_s;         // 7
const QString ReplyLabel = u"返信元　　　：　"_s;      // 8
const QString BodyCaption = u"本文　　　："_s;

// Labels of the text-page board.
const QString TextNumberLabel = u"No.  : "_s;     // 7
const QString TextSubjectLabel = u"Sub : "_s;     // 6
const QString TextHomePageLabel = u"HomePage: "_s; // 10
const QString TextMailLabel = u"Mail : "_s;       // 7
const QString TextNameLabel = u"Name : "_s;       // 7
const QString TextDateLabel = u"Date : "_s;       // 7
const QString TextTreeLine = u"Tree : -"_s;
const QString TextReplyLabel = u"Reply : "_s;     // 8
const QString TextBodyCaption = u"Body :"_s;

QString withCrLf(QString text)
{
    text.replace(CrLf, u"\n"_s);
    text.replace(u'\r', u'\n');
    return text.replace(u"\n"_s, CrLf);
}

QString weekday(const QDate &date)
{
    static const QString Days = u"月火水木金土日"_s;
    return Days.at(date.dayOfWeek() - 1);
}

QByteArray encode(const char *codec, const QString &text)
{
    QStringEncoder encoder(codec);
    return encoder.encode(text);
}

} // namespace

namespace LogFormat {

QString separator()
{
    return CrLf + u"===--+--+--+--+--+--+--+--+--+--+--+--+--==="_s + CrLf;
}

QString dateText(int type, const QDateTime &date)
{
    if (!date.isValid())
        return {};
    const QString day = date.toString(u"yyyy/MM/dd"_s);
    if (type == 3)
        return day + u'(' + weekday(date.date()) + u") "_s + date.toString(u"HH:mm"_s);
    return day + u'（' + weekday(date.date()) + u"） "_s + date.toString(u"HH:mm:ss"_s);
}

QString entry(int type, const BoardMessage &message)
{
    if (!message.rawEntry.isEmpty())
        return message.rawEntry;
    const QString number = QString::number(message.number);
    const QString reply = message.replyTo > 0 ? QString::number(message.replyTo) : QString();
    const QString date = dateText(type, message.date);
    QStringList lines;
    if (type == 3) {
        lines = {TextNumberLabel + number, TextSubjectLabel + message.subject,
                 TextHomePageLabel + message.homePage, TextMailLabel + message.mail,
                 TextNameLabel + message.name, TextDateLabel + date, TextTreeLine,
                 TextReplyLabel + reply, TextBodyCaption};
    } else if (type == 1 || type == 2) {
        lines = {NumberLabel + number, HomePageLabel + message.homePage,
                 MailLabel + message.mail, NameLabel + message.name, DateLabel + date,
                 ReplyLabel + reply, BodyCaption};
    } else {
        lines = {NumberLabel + number, SubjectLabel + message.subject,
                 HomePageLabel + message.homePage, MailLabel + message.mail,
                 NameLabel + message.name, DateLabel + date, ReplyLabel + reply, BodyCaption};
    }
    lines << withCrLf(message.body);
    return lines.join(CrLf);
}

QString log(int type, const QList<BoardMessage> &messages)
{
    const QString closing = separator();
    QString text;
    for (const BoardMessage &message : messages)
        text += entry(type, message) + closing;
    return text;
}

QByteArray encodeForBoard(int type, const QString &text)
{
    return type == 3 ? encode("EUC-JP", text) : toCp932(text);
}

QByteArray toCp932(const QString &text)
{
    return encode("CP932", text);
}

BoardMessage sampleMessage(int number, int replyTo)
{
    BoardMessage message;
    message.number = number;
    message.subject = u"題名"_s + QString::number(number);
    message.name = u"投稿者"_s + QString::number(number);
    message.date = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(60LL * number);
    message.replyTo = replyTo;
    message.body = u"本文です。番号 %1\r\n二行目。"_s.arg(number);
    return message;
}

QByteArray sampleLog(int first, int last, int padding)
{
    QList<BoardMessage> messages;
    for (int number = last; number >= first; --number) {
        messages.append(sampleMessage(number));
        messages.last().body += QString(padding, u'あ');
    }
    return toCp932(log(0, messages));
}

} // namespace LogFormat
