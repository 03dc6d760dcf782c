#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/**
 * @short A compiled Jet Like pattern: * any text, ? one character, # one digit, [list] and
 * [!list] one character of (not of) the list, with ranges such as a-z; [*], [?], [#] and
 * [[] stand for the character itself. Matching ignores case (Unicode case folding, so
 * full-width letters too) and costs at most the product of the two lengths.
 */
class JetPattern
{
public:
    /** @p escape, when not 0, makes the character after it stand for itself. */
    explicit JetPattern(QStringView pattern, char32_t escape = 0);

    bool Matches(QStringView text) const;

private:
    struct Element
    {
        enum Kind { Literal, AnyChar, Digit, AnyText, Set } kind;
        char32_t ch = 0;                       // Literal: the folded character
        bool negated = false;                  // Set
        QList<std::pair<char32_t, char32_t>> ranges; // Set: folded ranges
    };

    /** Patterns of literal characters with "*" only at their ends take a plain text search. */
    enum class Shape { General, Exact, Prefix, Suffix, Contains };

    bool matchesAt(const Element &e, char32_t folded) const;
    bool matchesGeneral(QStringView text) const;
    void findShape();

    QList<Element> m_elements;
    Shape m_shape = Shape::General;
    QString m_literal;
};
