#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

/**
 * @short A date format in the notation of the DateFormat option, compiled once and applied
 * to many dates.
 *
 * Tokens (letters in any case): yyyy yy y(day of year) q, m mm mmm mmmm (month; m and mm
 * mean minutes right after an hour token or right before a seconds token), d dd ddd dddd
 * ddddd(short date) dddddd(long date), aaa aaaa (weekday name), w ww, h hh, n nn (minutes),
 * s ss, and AM/PM am/pm A/P a/p AMPM, which make the hours 12-hour ones. "text" and \c are
 * literal; any other character is written as it stands. Names are Japanese. An empty format
 * is the general date "yyyy/mm/dd h:nn:ss". Dates are
 * formatted as they are held, without a time-zone conversion.
 */
class VbDateFormat
{
public:
    explicit VbDateFormat(const QString &format = {});

    QString Pattern() const { return m_pattern; }
    /** @short @p dt in this format; an invalid date gives an empty text. */
    QString Format(const QDateTime &dt) const;
    /**
     * @short True when the format shows a year, a month or a day (of the month or the year);
     * a format of only times, weekdays, quarters or literal text cannot tell one date from another.
     */
    bool ShowsDate() const;

private:
    enum class Kind : quint8 {
        Literal, Year4, Year2, DayOfYear, Quarter, Month, Month2, MonthAbbr, MonthName,
        Day, Day2, DayAbbr, DayName, ShortDate, LongDate, WeekDay, Week,
        Hour, Hour2, Minute, Minute2, Second, Second2, AmPmUpper, AmPmLower, APUpper, APLower, AmPmLocale,
    };
    struct Token
    {
        Kind kind;
        QString text; // Literal only
    };

    void parse(const QString &format);
    void resolveMinutes();
    void appendLiteral(const QString &text);
    void appendToken(Kind kind) { m_tokens.append({kind, {}}); }
    void formatToken(const Token &token, const QDate &date, const QTime &time, QString &out) const;

    QString m_pattern;
    QList<Token> m_tokens;
    bool m_twelveHour = false;
};
