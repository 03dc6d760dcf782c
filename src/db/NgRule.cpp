#include "db/NgRule.h"

#include "app/CRegExp.h"

#include <QRegularExpression>
#include <QStringMatcher>
#include <algorithm>

using namespace Qt::StringLiterals;

QString NgRuleError(const NgRule &rule)
{
    if (rule.Pattern.isEmpty())
        return u"NGにする文字列を入力してください。"_s;
    if (rule.Pattern.size() > NgPatternMaxLength)
        return u"NGにする文字列は%1文字までです。"_s.arg(NgPatternMaxLength);
    if (int(rule.Field) < int(NgField::Poster) || int(rule.Field) > int(NgField::Any))
        return u"NGの対象が正しくありません。"_s;
    if (rule.Action != NgAction::Hide && rule.Action != NgAction::Abone)
        return u"NGの動作が正しくありません。"_s;
    if (rule.RegExp) {
        const QRegularExpression expression(rule.Pattern);
        if (!expression.isValid())
            return u"正規表現が正しくありません（%1文字目）: %2"_s.arg(expression.patternErrorOffset() + 1)
                .arg(expression.errorString());
    }
    return QString();
}

namespace {

constexpr int TextFields = 5; // the fields of NgTexts; NgField::Any looks at all of them

QStringView fieldText(const NgTexts &texts, int field)
{
    switch (NgField(field)) {
    case NgField::Poster: return texts.PostName;
    case NgField::Mail: return texts.Mail;
    case NgField::Subject: return texts.Subject;
    case NgField::Body: return texts.Body;
    default: return texts.HomePage;
    }
}

/**
 * Whether @p pattern keeps its meaning as one branch of an alternation of several: no group
 * numbers or names that the other branches would shift, no quoting or comment that could run
 * past its branch, no verbs or options that act on the whole expression.
 */
bool joinable(const QString &pattern)
{
    static const QRegularExpression risky(uR"(\\[0-9gkQE]|\(\*|\(\?(?![:=!]|<[=!]|i[):]))"_s);
    return QRegularExpression(pattern).isValid() && !risky.match(pattern).hasMatch();
}

} // namespace

/**
 * The tests of one field for one action: each plain pattern with its case-insensitive skip
 * table, the regular expressions that can be joined as one alternation (one search per text
 * instead of one per rule), and the others on their own.
 */
struct NgMatcher::Prepared
{
    std::vector<QStringMatcher> plain;
    QStringList joined;
    std::vector<CRegExp> expressions;

    void add(const NgRule &rule)
    {
        if (!rule.RegExp) {
            plain.emplace_back(rule.Pattern, Qt::CaseInsensitive);
        } else if (joinable(rule.Pattern)) {
            joined.append(u"(?:"_s + rule.Pattern + u')');
        } else {
            expressions.emplace_back().setPattern(rule.Pattern);
        }
    }

    void finish()
    {
        if (!joined.isEmpty())
            expressions.emplace_back().setPattern(joined.join(u'|'));
    }

    bool foundIn(QStringView text)
    {
        return std::any_of(plain.begin(), plain.end(), [text](const QStringMatcher &m) { return m.indexIn(text) >= 0; })
            || std::any_of(expressions.begin(), expressions.end(), [text](CRegExp &e) { return e.Search(text); });
    }
};

// m_rules holds the tests of the five fields for Hide, then for Abone.
NgMatcher::NgMatcher(const QList<NgRule> &rules)
{
    if (rules.isEmpty())
        return;
    m_rules = std::make_shared<std::vector<Prepared>>(2 * TextFields);
    for (const NgRule &rule : rules) {
        // A row that NgRuleError would refuse (a damaged or hand-made one) matches nothing.
        if (rule.Pattern.isEmpty() || int(rule.Field) < 0 || int(rule.Field) > int(NgField::Any)
            || (rule.Action != NgAction::Hide && rule.Action != NgAction::Abone))
            continue;
        const int first = rule.Field == NgField::Any ? 0 : int(rule.Field);
        const int last = rule.Field == NgField::Any ? TextFields - 1 : int(rule.Field);
        for (int field = first; field <= last; ++field)
            (*m_rules)[size_t((rule.Action == NgAction::Hide ? 0 : TextFields) + field)].add(rule);
    }
    for (Prepared &tests : *m_rules)
        tests.finish();
}

bool NgMatcher::IsEmpty() const
{
    return !m_rules;
}

std::optional<NgAction> NgMatcher::Match(const NgTexts &texts) const
{
    if (!m_rules)
        return std::nullopt;
    for (size_t i = 0; i < m_rules->size(); ++i) {
        if ((*m_rules)[i].foundIn(fieldText(texts, int(i) % TextFields)))
            return i < TextFields ? NgAction::Hide : NgAction::Abone;
    }
    return std::nullopt;
}
