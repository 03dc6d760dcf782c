#pragma once

#include <QVariant>

struct sqlite3_stmt;
class Database;

/**
 * @short A prepared statement with bound values, for the statements the program repeats.
 *
 * Made by Database::Prepare, which keeps the compiled statement cached for the next
 * Prepare of the same text. Values bind by position (1-based, the ?N of the text):
 * bool as 0/1, QDateTime and QDate as stored date texts, numbers, texts, NULL for an
 * invalid QVariant. Errors are reported through the database's LastError().
 */
class Statement
{
public:
    Statement() = default;
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement();

    bool IsValid() const { return m_stmt != nullptr; }

    void Bind(int index, const QVariant &value);
    /** Runs the statement to its end; the rows affected go to Database::RecordsAffected. */
    bool Execute();
    /** Steps to the next row: false at the end and on an error. */
    bool Next();
    int ColumnCount() const;
    /** A value of the current row, typed as Recordset values are. */
    QVariant Value(int column) const;
    /** Makes the statement ready to run again; bindings are cleared. */
    void Reset();

private:
    friend class Database;
    Statement(Database *db, sqlite3_stmt *stmt, bool cached) : m_db(db), m_stmt(stmt), m_cached(cached) {}
    void release();

    Database *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_cached = false;
};
