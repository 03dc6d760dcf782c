#pragma once

#include "db/DbError.h"
#include "db/NgRule.h"

#include <QList>
#include <QString>
#include <optional>

class Database;

/**
 * @short The NG rules of table NGRule: listing, the rules in force for a board, adding with
 * validation, removing, and applying a rule to the unread messages already stored.
 *
 * Values are bound, never written into the statement text. A failed read gives nullopt, a
 * failed write false or nullopt, with the reason in LastError().
 */
class NgRuleRepository
{
public:
    explicit NgRuleRepository(Database &db) : m_db(db) {}

    /** @short Every rule, by ascending ID. */
    std::optional<QList<NgRule>> List();
    /** @short The rules in force for board @p BBS_ID: those of every board and those of this board, by ID. */
    std::optional<QList<NgRule>> ForBoard(int BBS_ID);
    /**
     * @short Stores @p rule under a new ID and returns it. A rule that NgRuleError refuses is
     * not stored: nullopt, with that message in @p error (the database's reason otherwise).
     */
    [[nodiscard]] std::optional<qint64> Add(const NgRule &rule, QString *error = nullptr);
    /** @short Removes rule @p ID: whether it was stored; nullopt on failure. */
    [[nodiscard]] std::optional<bool> Remove(qint64 ID);
    /**
     * @short Marks read, in one transaction, the unread messages within @p rule's scope that it
     * matches: the number marked, nullopt on failure (then nothing changed).
     */
    [[nodiscard]] std::optional<int> MarkUnreadRead(const NgRule &rule);

    const DbError &LastError() const;

private:
    std::optional<QList<NgRule>> rules(const QString &jetSql, const QVariantList &values);

    Database &m_db;
};
