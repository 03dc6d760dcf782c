#pragma once

#include "db/CMessage.h"
#include "db/DbError.h"
#include "db/Recordset.h"

#include <QString>
#include <array>
#include <optional>

class Database;

/**
 * @short Runs one statement typed by the user or built by a list and keeps its result, which
 * the message lists and tessera-cli then read row by row.
 *
 * At most one result is open: a new select-type ExecSQL or Initialize replaces it, action
 * statements leave it. The database is not owned.
 */
class QueryCursor
{
public:
    explicit QueryCursor(Database *db = nullptr);

    /** @short Closes any open result and works on @p db from now on (not owned; may be null). */
    void Initialize(Database *db);

    /**
     * @short Runs @p SQLString and returns its query type (JetSql::QueryType).
     *
     * Asks each parameter's value through prompter() (its name as the prompt). Select, union
     * and crosstab replace the open result; action and data-definition statements run and
     * leave it. Statements of any other type (PRAGMA, ATTACH, VACUUM, BEGIN, ...) are refused
     * with Refusal() and run nothing. On failure nullopt, with the error's number and
     * description in @p error.
     */
    std::optional<int> ExecSQL(const QString &SQLString, DbError *error = nullptr);
    /** @short The error of a statement of no query type the cursor runs. */
    static DbError Refusal();

    /** @short Rows of the open result, or rows affected by the last action statement. */
    int count() const { return m_count; }
    /** @short The open result (its cursor serves GetMessage()), or nullptr. */
    ::Recordset *Recordset() { return m_Recordset ? &*m_Recordset : nullptr; }
    /** @short 0 when the result's columns are exactly those of table Message, else 1. */
    int SQLType() const { return m_SQLType; }
    /** @short Row @p Index (0-based) of the result as a message; nullopt past the end. */
    std::optional<CMessage> Messages(int Index) const;
    /** @short The result's current row as a message; nullopt when there is none. */
    std::optional<CMessage> GetMessage() const;
    /** @short Closes the open result. */
    void CloseLogMessages();

private:
    bool hasMessageColumns(const QStringList &names);
    std::optional<CMessage> messageAt(int row) const;

    Database *m_db = nullptr;
    std::optional<::Recordset> m_Recordset;
    std::array<int, 12> m_columns{}; // result column of each Message column, -1 when absent
    int m_SQLType = 1;
    int m_count = 0;
};
