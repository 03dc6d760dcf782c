#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

/**
 * @short Finds a pattern in a text, as plain text (ignoring letter case) or as a regular
 * expression, and keeps the result of the last search.
 *
 * An invalid expression, and one whose matching runs into the engine's match limit
 * (catastrophic backtracking), report no match.
 */
class CRegExp
{
public:
    bool RegExpMode() const { return m_regExpMode; }
    void setRegExpMode(bool on) { m_regExpMode = on; }
    /** @short Case-insensitive matching of regular expressions; plain matching always ignores case. */
    bool IgnoreCase() const { return m_ignoreCase; }
    void setIgnoreCase(bool on) { m_ignoreCase = on; }
    /** @short True: regular expressions are available (always, with QRegularExpression). */
    bool RegExp() const { return true; }
    const QString &Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern) { m_pattern = pattern; }

    /** @short 0-based position of the last match, -1 when none. */
    qsizetype FirstIndex() const { return m_firstIndex; }
    /** @short Length of the last match in UTF-16 units, -1 when none. */
    qsizetype Length() const { return m_length; }
    QString Value() const { return m_value; }

    /** @short Finds the first match in @p SourceString. */
    bool Search(QStringView SourceString);
    /** @short Finds the last of the non-overlapping matches scanning from the start. */
    bool SearchRev(const QString &SourceString);

private:
    bool found(qsizetype index, qsizetype length, const QString &value);
    bool notFound();
    /** The expression of Pattern and IgnoreCase, compiled once for a walk over many texts. */
    const QRegularExpression &expression();

    bool m_regExpMode = true;
    bool m_ignoreCase = false;
    QString m_pattern;
    qsizetype m_firstIndex = -1;
    qsizetype m_length = -1;
    QString m_value;
    QRegularExpression m_expression;
};
