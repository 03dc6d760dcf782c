#include "app/IniNumber.h"

#include "app/mdlText.h"

#include <QByteArray>
#include <charconv>

using namespace Qt::StringLiterals;

namespace {

/** A decimal number: sign, significant digits without leading or trailing zeros, and the
 *  power of ten they are multiplied by. Zero has no digits. */
struct Decimal
{
    bool negative = false;
    QByteArray digits;
    qint64 exp10 = 0;

    /** Number of digits before the decimal point (negative for leading fraction zeros). */
    qint64 wholeDigits() const { return digits.size() + exp10; }
};

/** Reads an exponent's digits, saturating far beyond any range that matters. */
std::optional<qint64> parseExponent(QStringView s)
{
    qsizetype i = 0;
    const bool negative = i < s.size() && s[i] == u'-';
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        ++i;
    if (i == s.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9')
            return std::nullopt;
        value = qMin<qint64>(value * 10 + (s[i].unicode() - u'0'), 1'000'000'000'000);
    }
    return negative ? -value : value;
}

/** Blanks, sign, digits with an optional fraction, optional exponent, blanks. */
std::optional<Decimal> parseDecimal(QStringView text)
{
    const QStringView s = mdlText::TrimBlanks(text);
    Decimal d;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        d.negative = s[i++] == u'-';
    bool anyDigit = false;
    bool inFraction = false;
    qint64 fractionDigits = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'.' && !inFraction) {
            inFraction = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            break;
        anyDigit = true;
        if (!d.digits.isEmpty() || c != u'0')
            d.digits += char(c.unicode());
        fractionDigits += inFraction ? 1 : 0;
    }
    if (!anyDigit)
        return std::nullopt;
    qint64 exponent = 0;
    if (i < s.size()) {
        if (s[i] != u'e' && s[i] != u'E')
            return std::nullopt;
        const auto e = parseExponent(s.sliced(i + 1));
        if (!e)
            return std::nullopt;
        exponent = *e;
    }
    d.exp10 = exponent - fractionDigits;
    while (d.digits.endsWith('0')) {
        d.digits.chop(1);
        ++d.exp10;
    }
    if (d.digits.isEmpty())
        d.exp10 = 0;
    return d;
}

/** The text as a floating-point number, correctly rounded; tiny values become zero. */
template<typename T>
std::optional<T> toFloating(const QString &text)
{
    const auto d = parseDecimal(text);
    if (!d)
        return std::nullopt;
    if (d->digits.isEmpty() || d->wholeDigits() < -400)
        return T(0);
    if (d->wholeDigits() > 400)
        return std::nullopt;
    const QByteArray number = (d->negative ? "-"_ba : QByteArray()) + d->digits + 'e' + QByteArray::number(d->exp10);
    T value{};
    const auto result = std::from_chars(number.constData(), number.constData() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range && d->wholeDigits() < 0)
        return T(0);
    if (result.ec != std::errc())
        return std::nullopt;
    return value;
}

} // namespace

namespace IniNumber {

/** The text rounded to a whole number, halves to the even one, when within [min, max]. */
std::optional<qint64> ToWhole(const QString &text, qint64 min, qint64 max)
{
    const auto d = parseDecimal(text);
    if (!d)
        return std::nullopt;
    const qint64 whole = d->wholeDigits();
    if (whole > 12)
        return std::nullopt;
    qint64 value = 0;
    for (qint64 k = 0; k < whole; ++k)
        value = value * 10 + (k < d->digits.size() ? d->digits[k] - '0' : 0);
    if (whole >= 0 && whole < d->digits.size()) {
        const char first = d->digits[whole];
        const bool beyondHalf = whole + 1 < d->digits.size(); // trailing zeros are stripped
        if (first > '5' || (first == '5' && (beyondHalf || value % 2 == 1)))
            ++value;
    }
    if (d->negative)
        value = -value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<float> ToSingle(const QString &text)
{
    return toFloating<float>(text);
}

std::optional<bool> ToBool(const QString &text)
{
    const QStringView t = mdlText::TrimBlanks(text);
    if (t.compare(u"true"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(u"false"_s, Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = toFloating<double>(text))
        return *number != 0;
    return std::nullopt;
}

} // namespace IniNumber
