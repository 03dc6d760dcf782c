#include "db/Statement.h"

#include "db/Database.h"
#include "db/SqliteValue.h"

#include <sqlite3.h>

Statement::Statement(Statement &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_stmt(std::exchange(other.m_stmt, nullptr)),
      m_cached(other.m_cached)
{
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        release();
        m_db = std::exchange(other.m_db, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_cached = other.m_cached;
    }
    return *this;
}

Statement::~Statement()
{
    release();
}

void Statement::release()
{
    if (m_stmt)
        m_db->recycle(m_stmt, m_cached);
    m_stmt = nullptr;
}

void Statement::Bind(int index, const QVariant &value)
{
    if (m_stmt)
        SqliteValue::Bind(m_stmt, index, value);
}

bool Statement::Execute()
{
    if (!m_stmt)
        return false;
    m_db->clearError();
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    const bool ok = rc == SQLITE_DONE;
    m_db->m_recordsAffected = ok ? sqlite3_changes(sqlite3_db_handle(m_stmt)) : 0;
    if (!ok)
        m_db->setSqliteError(sqlite3_reset(m_stmt));
    sqlite3_reset(m_stmt);
    return ok;
}

bool Statement::Next()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_db->setSqliteError(sqlite3_reset(m_stmt));
    return false;
}

int Statement::ColumnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QVariant Statement::Value(int column) const
{
    if (!m_stmt || column < 0 || column >= sqlite3_data_count(m_stmt))
        return {};
    return SqliteValue::Read(m_stmt, column, SqliteValue::ColumnType(m_stmt, column));
}

void Statement::Reset()
{
    if (!m_stmt)
        return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}
