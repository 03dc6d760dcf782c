#include "support/LogFormat.h"

#include <QStringEncoder>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

QString withCrLf(QString text)
{
    text.replace(CrLf, u"\n"_s);
    text.replace(u'\r', u'\n');
    return text.replace(u"\n"_s, CrLf);
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
    const QChar weekday = u"月火水木金土日"_s.at(date.date().dayOfWeek() - 1);
    if (type == 3)
        return date.toString(u"yyyy/MM/dd"_s) + u'(' + weekday + u") "_s + date.toString(u"HH:mm"_s);
    return date.toString(u"yyyy/MM/dd"_s) + u'（' + weekday + u"） "_s + date.toString(u"HH:mm:ss"_s);
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
        lines = {u"No.  : "_s + number, u"Sub : "_s + message.subject, u"HomePage: "_s + message.homePage,
                 u"Mail : "_s + message.mail, u"Name : "_s + message.name, u"Date : "_s + date, u"Tree : -"_s,
                 u"Reply : "_s + reply, u"Body :"_s};
    } else {
        lines = {u"記事番号　：　"_s + number, u"題名　　：　"_s + message.subject,
                 u"ホームページ　　：　"_s + message.homePage, u"メール　　：　"_s + message.mail,
                 u"投稿者　　：　"_s + message.name, u"投稿日　　：　"_s + date, u"返信元　　　：　"_s + reply,
                 u"本文　　　："_s};
    }
    if (type == 1 || type == 2)
        lines.removeAt(1); // the paired boards write no subject
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
