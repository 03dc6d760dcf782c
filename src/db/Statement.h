#pragma once

#include <QStringView>
#include <QVariant>
#include <memory>

struct sqlite3_stmt;
class Database;

/**
 * @short A prepared statement with bound values, for the statements the program repeats.
 *
 * Made by Database::Prepare, which keeps the compiled statement cached for the next
 * Prepare of the same text. Values bind by position (1-based, the ?N of the text):
 * bool as 0/1, QDateTime and QDate as stored date texts, numbers, texts, NULL for an
 * invalid QVariant. Errors are reported through the database's LastError(). A statement
 * whose database was closed is no longer valid and does nothing.
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

    bool IsValid() const { return m_stmt && m_db && *m_db; }

    void Bind(int index, const QVariant &value);
    /**
     * Binds @p text as a text (empty stays a text, never NULL) without copying it: the caller
     * keeps it unchanged until the statement has run. For rows bound by the thousand.
     */
    void BindText(int index, QStringView text);
    void BindInt(int index, qint64 value);
    /** Runs the statement to its end; the rows affected go to Database::RecordsAffected. */
    [[nodiscard]] bool Execute();
    /** Steps to the next row: false at the end and on an error. */
    bool Next();
    int ColumnCount() const;
    /** A value of the current row, typed as Recordset values are. */
    QVariant Value(int column) const;
    /** Makes the statement ready to run again; bindings are cleared. */
    void Reset();

private:
    friend class Database;
    Statement(std::shared_ptr<Database *> db, sqlite3_stmt *stmt) : m_db(std::move(db)), m_stmt(stmt) {}
    void release();

    std::shared_ptr<Database *> m_db; // empties when the database closes
    sqlite3_stmt *m_stmt = nullptr;
};
