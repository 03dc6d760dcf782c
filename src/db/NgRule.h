#pragma once

#include "db/CMessage.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

/** @short The part of a message an NG rule looks at; the numbers are stored in table NGRule. */
enum class NgField : int { Poster = 0, Mail = 1, Subject = 2, Body = 3, HomePage = 4, Any = 5 };

/**
 * @short What happens to a message an NG rule matches: Hide leaves it out of the lists,
 * Abone lists it with subject, poster and body replaced by "あぼーん". Hide is the stronger.
 */
enum class NgAction : int { Hide = 0, Abone = 1 };

/** @short One NG rule: a row of table NGRule. */
struct NgRule
{
    qint64 ID = 0; ///< given by the database when the rule is added
    NgField Field = NgField::Any;
    QString Pattern;
    bool RegExp = false;          ///< false: a plain text, found ignoring letter case
    std::optional<int> BBS_ID;    ///< the one board the rule holds for; nullopt: every board
    NgAction Action = NgAction::Hide;
    bool operator==(const NgRule &) const = default;
};

/** @short The text shown instead of the subject, poster and body of an Abone message. */
inline const QString NgAboneText = QStringLiteral("あぼーん");
/** @short The longest pattern a rule may have (the column's size). */
constexpr int NgPatternMaxLength = 255;

/** @short The texts of a message that rules look at, viewed where they are. */
struct NgTexts
{
    QStringView PostName, Mail, Subject, Body, HomePage;
    static NgTexts Of(const CMessage &m) { return {m.PostName, m.Mail, m.Subject, m.Body, m.HomePage}; }
};

/**
 * @short Why @p rule cannot be stored, as a message for the user: an empty or too long pattern,
 * a regular expression that does not compile (with the engine's reason and position), a field
 * or action out of range. Empty when the rule is sound.
 */
QString NgRuleError(const NgRule &rule);

/**
 * @short Decides which NG action applies to a message under a set of rules.
 *
 * Made once for a board's rules and asked for every message: patterns are prepared once and
 * shared by copies. Plain patterns match as case-insensitive substrings, regular expressions
 * through CRegExp as written (case-sensitive unless the pattern says "(?i)"). A rule whose
 * expression is broken matches nothing. Without rules Match costs nothing.
 */
class NgMatcher
{
public:
    NgMatcher() = default;
    explicit NgMatcher(const QList<NgRule> &rules);

    bool IsEmpty() const;
    /** @short The strongest action of the rules matching @p texts (Hide before Abone); nullopt when none does. */
    std::optional<NgAction> Match(const NgTexts &texts) const;
    std::optional<NgAction> Match(const CMessage &message) const { return Match(NgTexts::Of(message)); }

private:
    struct Prepared;
    std::shared_ptr<std::vector<Prepared>> m_rules; // Hide rules first, so that the first match decides
};
