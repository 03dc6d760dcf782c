#include "app/CRegExp.h"

#include <QRegularExpression>

const QRegularExpression &CRegExp::expression()
{
    const QRegularExpression::PatternOptions options =
        m_ignoreCase ? QRegularExpression::CaseInsensitiveOption : QRegularExpression::NoPatternOption;
    if (m_expression.pattern() != m_pattern || m_expression.patternOptions() != options) {
        m_expression = QRegularExpression(m_pattern, options);
        m_expression.optimize();
    }
    return m_expression;
}

bool CRegExp::found(qsizetype index, qsizetype length, const QString &value)
{
    m_firstIndex = index;
    m_length = length;
    m_value = value;
    return true;
}

bool CRegExp::notFound()
{
    m_firstIndex = -1;
    m_length = -1;
    m_value.clear();
    return false;
}

bool CRegExp::Search(QStringView SourceString)
{
    if (!m_regExpMode) {
        const qsizetype at = SourceString.indexOf(m_pattern, 0, Qt::CaseInsensitive);
        return at < 0 ? notFound() : found(at, m_pattern.size(), m_pattern);
    }
    const QRegularExpression &re = expression();
    if (!re.isValid())
        return notFound();
    // A match that hits the engine's match limit ends without a match.
    const QRegularExpressionMatch match = re.match(SourceString);
    if (!match.hasMatch())
        return notFound();
    return found(match.capturedStart(), match.capturedLength(), match.captured());
}

bool CRegExp::SearchRev(const QString &SourceString)
{
    if (!m_regExpMode) {
        const qsizetype at = SourceString.lastIndexOf(m_pattern, -1, Qt::CaseInsensitive);
        return at < 0 ? notFound() : found(at, m_pattern.size(), m_pattern);
    }
    const QRegularExpression &re = expression();
    if (!re.isValid())
        return notFound();
    QRegularExpressionMatch last;
    QRegularExpressionMatchIterator it = re.globalMatch(SourceString);
    while (it.hasNext())
        last = it.next();
    if (!last.hasMatch())
        return notFound();
    return found(last.capturedStart(), last.capturedLength(), last.captured());
}
