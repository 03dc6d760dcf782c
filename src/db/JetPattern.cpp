#include "db/JetPattern.h"

namespace {

/** The code point at @p i of @p s, advancing @p i past it. */
char32_t nextCodePoint(QStringView s, qsizetype &i)
{
    const QChar c = s[i++];
    if (c.isHighSurrogate() && i < s.size() && s[i].isLowSurrogate())
        return QChar::surrogateToUcs4(c, s[i++]);
    return c.unicode();
}

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

} // namespace

JetPattern::JetPattern(QStringView pattern, char32_t escape)
{
    const qsizetype lastClose = pattern.lastIndexOf(u']');
    qsizetype i = 0;
    while (i < pattern.size()) {
        const char32_t c = nextCodePoint(pattern, i);
        if (escape && c == escape && i < pattern.size()) {
            m_elements.append({Element::Literal, fold(nextCodePoint(pattern, i)), false, {}});
        } else if (c == U'*') {
            if (m_elements.isEmpty() || m_elements.last().kind != Element::AnyText)
                m_elements.append({Element::AnyText, 0, false, {}});
        } else if (c == U'?') {
            m_elements.append({Element::AnyChar, 0, false, {}});
        } else if (c == U'#') {
            m_elements.append({Element::Digit, 0, false, {}});
        } else if (c == U'[' && i <= lastClose) {
            // A list up to the next "]": [[] and [*] hold one literal character each.
            const qsizetype close = pattern.indexOf(u']', i);
            QStringView body = pattern.sliced(i, close - i);
            i = close + 1;
            Element set{Element::Set, 0, body.startsWith(u'!'), {}};
            if (set.negated)
                body = body.sliced(1);
            if (body.isEmpty() && !set.negated)
                continue; // [] stands for nothing
            qsizetype j = 0;
            while (j < body.size()) {
                const char32_t from = fold(nextCodePoint(body, j));
                char32_t to = from;
                if (j + 1 < body.size() && body[j] == u'-') {
                    ++j;
                    to = fold(nextCodePoint(body, j));
                }
                set.ranges.append({std::min(from, to), std::max(from, to)});
            }
            m_elements.append(set);
        } else {
            m_elements.append({Element::Literal, fold(c), false, {}});
        }
    }
    findShape();
}

void JetPattern::findShape()
{
    const bool starFirst = !m_elements.isEmpty() && m_elements.first().kind == Element::AnyText;
    const bool starLast = m_elements.size() > 1 && m_elements.last().kind == Element::AnyText;
    const QList<Element> inner = m_elements.mid(starFirst ? 1 : 0, m_elements.size() - starFirst - starLast);
    for (const Element &e : inner) {
        // Folded characters outside the BMP would need more than a UTF-16 unit comparison.
        if (e.kind != Element::Literal || e.ch > 0xffff)
            return;
        m_literal.append(QChar(char16_t(e.ch)));
    }
    m_shape = starFirst ? (starLast ? Shape::Contains : Shape::Suffix) : (starLast ? Shape::Prefix : Shape::Exact);
}

bool JetPattern::matchesAt(const Element &e, char32_t folded) const
{
    switch (e.kind) {
    case Element::Literal:
        return e.ch == folded;
    case Element::AnyChar:
        return true;
    case Element::Digit:
        return QChar::isDigit(folded);
    case Element::Set: {
        bool inSet = false;
        for (const auto &[from, to] : e.ranges)
            inSet = inSet || (folded >= from && folded <= to);
        return inSet != e.negated;
    }
    case Element::AnyText:
        break;
    }
    return false;
}

bool JetPattern::Matches(QStringView text) const
{
    switch (m_shape) {
    case Shape::Exact: return text.compare(m_literal, Qt::CaseInsensitive) == 0;
    case Shape::Prefix: return text.startsWith(m_literal, Qt::CaseInsensitive);
    case Shape::Suffix: return text.endsWith(m_literal, Qt::CaseInsensitive);
    case Shape::Contains: return text.contains(m_literal, Qt::CaseInsensitive);
    case Shape::General: break;
    }
    return matchesGeneral(text);
}

bool JetPattern::matchesGeneral(QStringView text) const
{
    // Greedy matching that returns to the last "*" on a mismatch: every element but "*"
    // takes exactly one character, so one remembered "*" is enough.
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype starElement = -1;
    qsizetype starText = 0;
    const qsizetype count = m_elements.size();
    while (t < text.size()) {
        if (p < count && m_elements[p].kind == Element::AnyText) {
            starElement = ++p;
            starText = t;
            continue;
        }
        qsizetype after = t;
        const char32_t c = fold(nextCodePoint(text, after));
        if (p < count && matchesAt(m_elements[p], c)) {
            ++p;
            t = after;
            continue;
        }
        if (starElement < 0)
            return false;
        p = starElement;
        nextCodePoint(text, starText);
        t = starText;
    }
    while (p < count && m_elements[p].kind == Element::AnyText)
        ++p;
    return p == count;
}
