#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringView>
#include <optional>

/**
 * @short One board message: the unit the analyser, storage and the message lists exchange.
 *
 * Its key is "#" + board number (three digits) + message number (at least six digits), e.g.
 * "#001000123". A message number above 999999 simply gets more digits ("#0011234567"), so the
 * board is always characters 2 to 4 and the number all the rest. A board number outside 0..999
 * cannot fit three characters; it is written in full and closed by ":" ("#1000:000001"), a form
 * no three-digit key can take, so keys stay unique and parseable for every pair of numbers.
 */
class CMessage
{
public:
    /** @short Board and message number read back from a key. */
    struct KeyParts
    {
        int BBS_ID = 0;
        int ID = 0;
        bool operator==(const KeyParts &) const = default;
    };

    int BBS_ID = 0;
    int ID = 0;
    QString Subject;
    QString HomePage;
    QString Mail;
    QString PostName;
    QDateTime PostDate;
    int InReplyTo = 0;
    QString Body;
    int RootThread = 0;
    int Mark = 0;
    bool Read = false;

    /** @short The message's key, from BBS_ID and ID. */
    QString Key() const { return MakeKey(BBS_ID, ID); }
    /** @short The key of the message replied to, from BBS_ID and InReplyTo. */
    QString ReplyKey() const { return MakeKey(BBS_ID, InReplyTo); }

    /** @short The key of message @p id of board @p bbsId. */
    static QString MakeKey(int bbsId, int id);
    /** @short Board and number of @p key; nullopt unless @p key is exactly what MakeKey writes. */
    static std::optional<KeyParts> ParseKey(QStringView key);

    /**
     * @short A post date as messages hold it: the board's wall-clock reading, in Qt::UTC.
     *
     * Post dates carry no zone. Holding them in UTC keeps every reading valid (local time would
     * drop the hour skipped by daylight saving) and spares a time-zone lookup per message. Use
     * date(), time() or toString() on it directly; never convert it to local time.
     */
    static QDateTime WallClock(QDate date, QTime time) { return QDateTime(date, time, Qt::UTC); }

    bool operator==(const CMessage &) const = default;
};

Q_DECLARE_METATYPE(CMessage)
