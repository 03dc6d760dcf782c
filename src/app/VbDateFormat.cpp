#include "app/VbDateFormat.h"

#include "app/mdlApp.h"

#include <QLocale>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

/** Length of the run of @p letter (any case) at @p pos of @p text. */
qsizetype runLength(const QString &text, qsizetype pos, QChar letter)
{
    qsizetype end = pos;
    while (end < text.size() && text.at(end).toLower() == letter)
        ++end;
    return end - pos;
}

bool startsWithAt(const QString &text, qsizetype pos, QStringView word)
{
    return QStringView(text).sliced(pos).startsWith(word, Qt::CaseInsensitive);
}

const QLocale &japanese()
{
    static const QLocale locale(QLocale::Japanese, QLocale::Japan);
    return locale;
}

} // namespace

VbDateFormat::VbDateFormat(const QString &format) : m_pattern(format)
{
    parse(format.isEmpty() ? u"yyyy/mm/dd h:nn:ss"_s : format);
    resolveMinutes();
}

bool VbDateFormat::ShowsDate() const
{
    static constexpr std::array DateKinds{Kind::Year4, Kind::Year2, Kind::DayOfYear, Kind::Month, Kind::Month2,
                                          Kind::MonthAbbr, Kind::MonthName, Kind::Day, Kind::Day2,
                                          Kind::ShortDate, Kind::LongDate};
    return std::any_of(m_tokens.cbegin(), m_tokens.cend(), [](const Token &token) {
        return std::find(DateKinds.cbegin(), DateKinds.cend(), token.kind) != DateKinds.cend();
    });
}

void VbDateFormat::appendLiteral(const QString &text)
{
    if (!m_tokens.isEmpty() && m_tokens.last().kind == Kind::Literal)
        m_tokens.last().text += text;
    else
        m_tokens.append({Kind::Literal, text});
}

void VbDateFormat::parse(const QString &f)
{
    qsizetype i = 0;
    while (i < f.size()) {
        const QChar c = f.at(i).toLower();
        if (c == u'"') {
            const qsizetype close = f.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? f.size() : close;
            appendLiteral(f.sliced(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == u'\\') {
            if (i + 1 < f.size())
                appendLiteral(f.at(i + 1));
            i += 2;
        } else if (c == u'y') {
            const qsizetype n = runLength(f, i, c);
            const qsizetype take = n >= 4 ? 4 : n >= 2 ? 2 : 1;
            appendToken(take == 4 ? Kind::Year4 : take == 2 ? Kind::Year2 : Kind::DayOfYear);
            i += take;
        } else if (c == u'm') {
            const qsizetype take = qMin<qsizetype>(runLength(f, i, c), 4);
            static constexpr Kind kinds[] = {Kind::Month, Kind::Month2, Kind::MonthAbbr, Kind::MonthName};
            appendToken(kinds[take - 1]);
            i += take;
        } else if (c == u'd') {
            const qsizetype take = qMin<qsizetype>(runLength(f, i, c), 6);
            static constexpr Kind kinds[] = {Kind::Day, Kind::Day2, Kind::DayAbbr, Kind::DayName,
                                             Kind::ShortDate, Kind::LongDate};
            appendToken(kinds[take - 1]);
            i += take;
        } else if (c == u'h' || c == u'n' || c == u's' || c == u'w') {
            const qsizetype take = qMin<qsizetype>(runLength(f, i, c), 2);
            const bool two = take == 2;
            appendToken(c == u'h' ? (two ? Kind::Hour2 : Kind::Hour)
                        : c == u'n' ? (two ? Kind::Minute2 : Kind::Minute)
                        : c == u's' ? (two ? Kind::Second2 : Kind::Second)
                                    : (two ? Kind::Week : Kind::WeekDay));
            i += take;
        } else if (c == u'q') {
            appendToken(Kind::Quarter);
            ++i;
        } else if (startsWithAt(f, i, u"am/pm")) {
            appendToken(f.at(i).isUpper() ? Kind::AmPmUpper : Kind::AmPmLower);
            m_twelveHour = true;
            i += 5;
        } else if (startsWithAt(f, i, u"a/p")) {
            appendToken(f.at(i).isUpper() ? Kind::APUpper : Kind::APLower);
            m_twelveHour = true;
            i += 3;
        } else if (startsWithAt(f, i, u"ampm")) {
            appendToken(Kind::AmPmLocale);
            m_twelveHour = true;
            i += 4;
        } else if (startsWithAt(f, i, u"aaa")) {
            const bool full = startsWithAt(f, i, u"aaaa");
            appendToken(full ? Kind::DayName : Kind::DayAbbr);
            i += full ? 4 : 3;
        } else {
            appendLiteral(f.at(i));
            ++i;
        }
    }
}

/** m and mm right after an hour token, or right before a seconds token, are minutes. */
void VbDateFormat::resolveMinutes()
{
    const auto isMonth = [](Kind k) { return k == Kind::Month || k == Kind::Month2; };
    Kind previous = Kind::Literal;
    for (qsizetype i = 0; i < m_tokens.size(); ++i) {
        Token &token = m_tokens[i];
        if (token.kind == Kind::Literal)
            continue;
        if (isMonth(token.kind)) {
            Kind next = Kind::Literal;
            for (qsizetype j = i + 1; j < m_tokens.size() && next == Kind::Literal; ++j)
                next = m_tokens.at(j).kind;
            const bool afterHour = previous == Kind::Hour || previous == Kind::Hour2;
            const bool beforeSecond = next == Kind::Second || next == Kind::Second2;
            if (afterHour || beforeSecond)
                token.kind = token.kind == Kind::Month ? Kind::Minute : Kind::Minute2;
        }
        previous = token.kind;
    }
}

QString VbDateFormat::Format(const QDateTime &dt) const
{
    if (!dt.isValid())
        return {};
    const QDate date = dt.date();
    const QTime time = dt.time();
    QString out;
    out.reserve(m_pattern.size() + 8);
    for (const Token &token : m_tokens)
        formatToken(token, date, time, out);
    return out;
}

void VbDateFormat::formatToken(const Token &token, const QDate &date, const QTime &time, QString &out) const
{
    const int hour = m_twelveHour ? (time.hour() % 12 == 0 ? 12 : time.hour() % 12) : time.hour();
    const bool pm = time.hour() >= 12;
    switch (token.kind) {
    case Kind::Literal: out += token.text; break;
    case Kind::Year4: out += mdlApp::ZeroPadded(date.year(), 4); break;
    case Kind::Year2: out += mdlApp::ZeroPadded(date.year() % 100, 2); break;
    case Kind::DayOfYear: out += mdlApp::ZeroPadded(date.dayOfYear(), 1); break;
    case Kind::Quarter: out += mdlApp::ZeroPadded((date.month() + 2) / 3, 1); break;
    case Kind::Month: out += mdlApp::ZeroPadded(date.month(), 1); break;
    case Kind::Month2: out += mdlApp::ZeroPadded(date.month(), 2); break;
    case Kind::MonthAbbr: out += japanese().monthName(date.month(), QLocale::ShortFormat); break;
    case Kind::MonthName: out += japanese().monthName(date.month(), QLocale::LongFormat); break;
    case Kind::Day: out += mdlApp::ZeroPadded(date.day(), 1); break;
    case Kind::Day2: out += mdlApp::ZeroPadded(date.day(), 2); break;
    case Kind::DayAbbr: out += japanese().dayName(date.dayOfWeek(), QLocale::ShortFormat); break;
    case Kind::DayName: out += japanese().dayName(date.dayOfWeek(), QLocale::LongFormat); break;
    case Kind::ShortDate: out += date.toString(u"yyyy/MM/dd"_s); break;
    case Kind::LongDate: out += japanese().toString(date, QLocale::LongFormat); break;
    case Kind::WeekDay: out += mdlApp::ZeroPadded(date.dayOfWeek() % 7 + 1, 1); break; // Sunday is 1
    case Kind::Week: out += mdlApp::ZeroPadded((date.dayOfYear() + QDate(date.year(), 1, 1).dayOfWeek() % 7 - 1) / 7 + 1, 1); break;
    case Kind::Hour: out += mdlApp::ZeroPadded(hour, 1); break;
    case Kind::Hour2: out += mdlApp::ZeroPadded(hour, 2); break;
    case Kind::Minute: out += mdlApp::ZeroPadded(time.minute(), 1); break;
    case Kind::Minute2: out += mdlApp::ZeroPadded(time.minute(), 2); break;
    case Kind::Second: out += mdlApp::ZeroPadded(time.second(), 1); break;
    case Kind::Second2: out += mdlApp::ZeroPadded(time.second(), 2); break;
    case Kind::AmPmUpper: out += pm ? u"PM"_s : u"AM"_s; break;
    case Kind::AmPmLower: out += pm ? u"pm"_s : u"am"_s; break;
    case Kind::APUpper: out += pm ? u'P' : u'A'; break;
    case Kind::APLower: out += pm ? u'p' : u'a'; break;
    case Kind::AmPmLocale: out += pm ? japanese().pmText() : japanese().amText(); break;
    }
}
