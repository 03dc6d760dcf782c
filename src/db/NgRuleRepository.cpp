#include "db/NgRuleRepository.h"

#include "db/BoardMessageReader.h"
#include "db/Database.h"
#include "db/StatementRows.h"
#include "db/Transaction.h"

using namespace Qt::StringLiterals;

namespace {

const QString RuleColumns = u"SELECT ID, Field, Pattern, RegExp, BBS_ID, Action FROM NGRule"_s;

NgRule ruleOf(const Statement &row)
{
    NgRule rule;
    rule.ID = row.Value(0).toLongLong();
    rule.Field = NgField(row.Value(1).toInt());
    rule.Pattern = row.Value(2).toString();
    rule.RegExp = row.Value(3).toBool();
    if (!row.Value(4).isNull())
        rule.BBS_ID = row.Value(4).toInt();
    rule.Action = NgAction(row.Value(5).toInt());
    return rule;
}

QVariant scopeValue(const NgRule &rule)
{
    return rule.BBS_ID ? QVariant(*rule.BBS_ID) : QVariant();
}

} // namespace

std::optional<QList<NgRule>> NgRuleRepository::rules(const QString &jetSql, const QVariantList &values)
{
    QList<NgRule> found;
    if (!forEachRow(m_db, jetSql, values, [&found](const Statement &row) { found.append(ruleOf(row)); }))
        return std::nullopt;
    return found;
}

std::optional<QList<NgRule>> NgRuleRepository::List()
{
    return rules(RuleColumns + u" ORDER BY ID"_s, {});
}

std::optional<QList<NgRule>> NgRuleRepository::ForBoard(int BBS_ID)
{
    return rules(RuleColumns + u" WHERE BBS_ID IS NULL OR BBS_ID = ?1 ORDER BY ID"_s, {BBS_ID});
}

std::optional<qint64> NgRuleRepository::Add(const NgRule &rule, QString *error)
{
    const QString refused = NgRuleError(rule);
    if (!refused.isEmpty()) {
        if (error)
            *error = refused;
        return std::nullopt;
    }
    // The new ID is read inside the writing transaction, so another process cannot take it.
    Transaction transaction(m_db);
    std::optional<qint64> id;
    if (transaction.IsActive()
        && executeBound(m_db, u"INSERT INTO NGRule (ID, Field, Pattern, RegExp, BBS_ID, Action) VALUES (NULL, ?1, ?2, ?3, ?4, ?5)"_s,
                        {int(rule.Field), rule.Pattern, rule.RegExp, scopeValue(rule), int(rule.Action)}))
        forEachRow(m_db, u"SELECT Max(ID) FROM NGRule"_s, {}, [&id](const Statement &row) { id = row.Value(0).toLongLong(); });
    if (!id || !transaction.Commit()) {
        if (error)
            *error = m_db.LastError().description;
        return std::nullopt;
    }
    return id;
}

std::optional<bool> NgRuleRepository::Remove(qint64 ID)
{
    if (!executeBound(m_db, u"DELETE FROM NGRule WHERE ID = ?1"_s, {ID}))
        return std::nullopt;
    return m_db.RecordsAffected() > 0;
}

std::optional<int> NgRuleRepository::MarkUnreadRead(const NgRule &rule)
{
    NgMatcher matcher({rule});
    QList<CMessage::KeyParts> matched;
    const QString select = u"SELECT "_s + BoardMessageReader::Columns + u" FROM Message WHERE Read = False"_s
        + (rule.BBS_ID ? u" AND BBS_ID = ?1"_s : QString());
    Transaction transaction(m_db);
    const bool read = transaction.IsActive()
        && forEachRow(m_db, select, rule.BBS_ID ? QVariantList{*rule.BBS_ID} : QVariantList{}, [&](const Statement &row) {
               const CMessage message = BoardMessageReader::MessageOf(row);
               if (matcher.Match(message))
                   matched.append({message.BBS_ID, message.ID});
           });
    if (!read)
        return std::nullopt;
    for (const CMessage::KeyParts &key : matched) {
        if (!executeBound(m_db, u"UPDATE Message SET Read = True WHERE BBS_ID = ?1 AND ID = ?2"_s, {key.BBS_ID, key.ID}))
            return std::nullopt;
    }
    if (!transaction.Commit())
        return std::nullopt;
    return int(matched.size());
}

const DbError &NgRuleRepository::LastError() const
{
    return m_db.LastError();
}
