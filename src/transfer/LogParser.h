#pragma once

#include "db/CMessage.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

/**
 * @short Splits log text into entries and turns entries into messages (no database, no state).
 *
 * Log text is a run of entries, each closed by Separator. Inside an entry lines end with CR LF;
 * header lines start with a label of fixed width (counted in UTF-16 units) that is skipped.
 */
namespace LogParser {

/** The separator line without its line breaks. */
inline const QString SeparatorLine =
    QStringLiteral("===--+--+--+--+--+--+--+--+--+--+--+--+--===");
/** What closes every entry: CR LF, the separator line, CR LF. */
inline const QString Separator =
    QStringLiteral("\r\n===--+--+--+--+--+--+--+--+--+--+--+--+--===\r\n");

/** Why an entry gave no message. */
enum class EntryError {
    None,
    TooFewLines, ///< fewer lines than the board type's layout needs
    BadNumber, ///< message number or reply number not a whole number in 0..2^31-1
    NoDateBracket, ///< the date line lacks the opening bracket of the board type
    BadDate, ///< the date text is not a valid date and time
    UnknownBoardType, ///< no layout for this board type
};

/**
 * @short Whether @p line (without its line break) is the separator line: SeparatorLine alone,
 * with blanks or tabs (half- or full-width) before or after it allowed, as editors leave them.
 */
bool IsSeparatorLine(QStringView line);

/** @short Where the next CR LF at or after @p from begins; -1 when there is none. */
qsizetype IndexOfCrLf(QStringView text, qsizetype from);

/**
 * @short The entries of @p text: every piece that a separator closes, in order.
 *
 * A separator is a separator line (IsSeparatorLine) between two CR LF, the first of them
 * inside the entry it closes; so the first line of an entry never closes it. Text after the
 * last separator is no entry; a text without a separator has none. The views point into
 * @p text, unchanged, so they serve the error log as they are.
 */
QList<QStringView> SplitEntries(QStringView text);

/**
 * @short An entry's fields, the texts as views into the entry (which must outlive them): what
 * storing a message needs, without copying its texts.
 */
struct EntryFields
{
    int id = 0;
    int inReplyTo = 0;
    QDate date;
    QTime time;
    QStringView homePage, mail, postName, body;

    /** The subject: the subject line, or for board types without one, made from the body. */
    QStringView subject() const { return hasSubjectLine ? subjectLine : QStringView(madeSubject); }
    /** The message of these fields. */
    CMessage message(int bbsId, bool read) const;

    bool hasSubjectLine = true;
    QStringView subjectLine;
    QString madeSubject;
};

/** @short The fields of @p entry by the layout of board type @p bbsType; nullopt, with the reason, when it is broken. */
std::optional<EntryFields> ParseFields(int bbsType, QStringView entry, EntryError *error = nullptr);

/** @short Board type 0: number, subject, home page, mail, name, date, reply, one ignored line, body. */
std::optional<CMessage> ParseSingleEntry(int bbsId, QStringView entry, bool read,
                                         EntryError *error = nullptr);
/** @short Board types 1 and 2: as type 0 without the subject line; the subject comes from the body. */
std::optional<CMessage> ParsePairedEntry(int bbsId, QStringView entry, bool read,
                                         EntryError *error = nullptr);
/** @short Board type 3: as type 0 with ASCII date brackets and an ignored line on each side of the reply line. */
std::optional<CMessage> ParseTextPageEntry(int bbsId, QStringView entry, bool read,
                                           EntryError *error = nullptr);
/** @short The parser of board type @p bbsType; other types give UnknownBoardType. */
std::optional<CMessage> ParseEntry(int bbsType, int bbsId, QStringView entry, bool read,
                                   EntryError *error = nullptr);

/**
 * @short Reads "year/month/day [hour:minute[:second]]".
 *
 * Date separators "/" or "-", or the form "2001年2月3日". Years have four digits, or two (00-29
 * are 2000-2029, 30-99 are 1930-1999). Blanks around the text and between date and time are
 * allowed, also none (so "2001/02/0312:34" reads as 12:34 on the 3rd). Anything else, and
 * impossible dates or times, give nullopt. The result is a CMessage::WallClock.
 */
std::optional<QDateTime> ParseDateTime(QStringView text);

/** @short Decimal digits with optional surrounding blanks, at most 2147483647; else nullopt. */
std::optional<int> ParseWholeNumber(QStringView text);

} // namespace LogParser
