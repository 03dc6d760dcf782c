#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

/** @short One message as a board keeps it, before it is written as a log entry. */
struct BoardMessage
{
    int number = 0;
    QString subject;  ///< not written by the paired boards (types 1 and 2)
    QString name;
    QString mail;
    QString homePage;
    QDateTime date;   ///< written to the second for types 0 to 2, to the minute for type 3
    int replyTo = 0;  ///< 0: not a reply (the reply line stays empty)
    QString body;     ///< any line breaks; written with CR LF
    /** When not empty, written instead of the formatted entry (e.g. a deliberately broken one). */
    QString rawEntry;
};

/**
 * @short Writes messages in the boards' log-text layouts: header lines of a fixed-width label and
 * a value, a caption line, the body. Types 1 and 2 write no subject; type 3 has a tree line before
 * the reply. Dates read "2024/05/01（水） 12:34:56" for types 0 to 2 and "2024/05/01(水) 12:34" for type 3.
 */
namespace LogFormat {

/** CR LF, the 44-character separator line, CR LF: closes every entry. */
QString separator();
/** The entry of @p message for board type @p type (0 to 3), lines joined by CR LF, no separator. */
QString entry(int type, const BoardMessage &message);
/** Each message's entry followed by the separator, in the order given. */
QString log(int type, const QList<BoardMessage> &messages);
/** The date line's value as entries of @p type write it; empty for an invalid date. */
QString dateText(int type, const QDateTime &date);
/** @p text in the board's encoding: EUC-JP for type 3, CP932 for the others. */
QByteArray encodeForBoard(int type, const QString &text);
/** @p text as CP932 bytes, the encoding of log files. */
QByteArray toCp932(const QString &text);
/** A message with subject "題名"/name "投稿者" + number, posted @p number minutes after 2024-01-01 00:00 UTC. */
BoardMessage sampleMessage(int number, int replyTo = 0);
/** A CP932 type-0 log of sample messages @p last down to @p first, bodies padded with @p padding "あ". */
QByteArray sampleLog(int first, int last, int padding = 0);

} // namespace LogFormat
