#pragma once

class Database;

/**
 * @short Begins a transaction and rolls it back unless Commit() was called.
 *
 * Nested guards become savepoints of the outer transaction.
 */
class Transaction
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    /** False when the transaction could not begin (see Database::LastError). */
    bool IsActive() const { return m_active; }
    /** @short False when the commit failed; the transaction is then rolled back. */
    [[nodiscard]] bool Commit();

private:
    Database &m_db;
    bool m_active = false;
};
