#pragma once

#include "db/NgRule.h"

#include <QString>
#include <optional>

class Database;

/**
 * @short Adding and removing NG rules from the windows: the options tab, the board properties
 * tab and the message pop-up all go through here, so that each addition is validated, told
 * when refused, and followed by the same question about the unread messages already stored.
 */
namespace NgRuleEditing {

/** @short The caption of @p field as the windows show it. */
QString FieldCaption(NgField field);
/** @short The caption of @p action as the windows show it. */
QString ActionCaption(NgAction action);

/**
 * @short Stores @p rule and returns its ID. A refused rule (a broken regular expression, an
 * empty or too long pattern) or a failed write is told and nothing is stored. A stored rule
 * is followed by the question whether the unread messages it matches are marked read.
 */
std::optional<qint64> AddRule(Database &db, const NgRule &rule);
/** @short Removes rule @p ID; a failure is told. True when the rule is gone. */
bool RemoveRule(Database &db, qint64 ID);

} // namespace NgRuleEditing
