#include "db/NgRule.h"

#include <QRegularExpression>
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

NgMatcher::NgMatcher(const QList<NgRule> &rules)
{
    for (const NgRule &rule : rules) {
        Compiled compiled{rule.Field, rule.Action, rule.RegExp, rule.Pattern, {}};
        compiled.expression.setRegExpMode(rule.RegExp);
        compiled.expression.setPattern(rule.Pattern);
        m_rules.append(compiled);
    }
    std::stable_sort(m_rules.begin(), m_rules.end(),
                     [](const Compiled &a, const Compiled &b) { return a.action == NgAction::Hide && b.action != NgAction::Hide; });
}

bool NgMatcher::matches(Compiled &rule, const NgTexts &texts)
{
    const auto found = [&rule](QStringView text) {
        if (!rule.regExp)
            return text.contains(rule.pattern, Qt::CaseInsensitive);
        return rule.expression.Search(text.toString());
    };
    switch (rule.field) {
    case NgField::Poster: return found(texts.PostName);
    case NgField::Mail: return found(texts.Mail);
    case NgField::Subject: return found(texts.Subject);
    case NgField::Body: return found(texts.Body);
    case NgField::HomePage: return found(texts.HomePage);
    case NgField::Any: break;
    }
    return found(texts.PostName) || found(texts.Mail) || found(texts.Subject) || found(texts.Body) || found(texts.HomePage);
}

std::optional<NgAction> NgMatcher::Match(const NgTexts &texts)
{
    for (Compiled &rule : m_rules) {
        if (matches(rule, texts))
            return rule.action;
    }
    return std::nullopt;
}
