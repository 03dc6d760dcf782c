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

/** A rule ready for matching: plain patterns with their case-insensitive skip table, expressions compiled. */
struct NgMatcher::Prepared
{
    NgField field;
    NgAction action;
    bool regExp;
    QStringMatcher plain;
    CRegExp expression;

    bool foundIn(QStringView text)
    {
        return regExp ? expression.Search(text) : plain.indexIn(text) >= 0;
    }

    bool matches(const NgTexts &texts)
    {
        switch (field) {
        case NgField::Poster: return foundIn(texts.PostName);
        case NgField::Mail: return foundIn(texts.Mail);
        case NgField::Subject: return foundIn(texts.Subject);
        case NgField::Body: return foundIn(texts.Body);
        case NgField::HomePage: return foundIn(texts.HomePage);
        case NgField::Any: break;
        }
        return foundIn(texts.PostName) || foundIn(texts.Mail) || foundIn(texts.Subject) || foundIn(texts.Body)
            || foundIn(texts.HomePage);
    }
};

NgMatcher::NgMatcher(const QList<NgRule> &rules) : m_rules(std::make_shared<std::vector<Prepared>>())
{
    m_rules->reserve(size_t(rules.size()));
    for (const NgRule &rule : rules) {
        Prepared &prepared = m_rules->emplace_back(Prepared{rule.Field, rule.Action, rule.RegExp, {}, {}});
        if (rule.RegExp) {
            prepared.expression.setPattern(rule.Pattern);
        } else {
            prepared.plain.setPattern(rule.Pattern);
            prepared.plain.setCaseSensitivity(Qt::CaseInsensitive);
        }
    }
    std::stable_sort(m_rules->begin(), m_rules->end(), [](const Prepared &a, const Prepared &b) {
        return a.action == NgAction::Hide && b.action != NgAction::Hide;
    });
}

bool NgMatcher::IsEmpty() const
{
    return !m_rules || m_rules->empty();
}

std::optional<NgAction> NgMatcher::Match(const NgTexts &texts) const
{
    if (!m_rules)
        return std::nullopt;
    for (Prepared &rule : *m_rules) {
        if (rule.matches(texts))
            return rule.action;
    }
    return std::nullopt;
}
