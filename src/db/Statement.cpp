#include "db/Statement.h"

#include "db/Database.h"
#include "db/SqliteValue.h"

#include <sqlite3.h>

Statement::Statement(Statement &&other) noexcept
    : m_db(std::move(other.m_db)), m_stmt(std::exchange(other.m_stmt, nullptr))
{
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        release();
        m_db = std::move(other.m_db);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

Statement::~Statement()
{
    release();
}

void Statement::release()
{
    if (IsValid())
        (*m_db)->recycle(m_stmt);
    m_stmt = nullptr;
    m_db.reset();
}

void Statement::Bind(int index, const QVariant &value)
{
    if (IsValid())
        SqliteValue::Bind(m_stmt, index, value);
}

void Statement::BindText(int index, QStringView text)
{
    static const char16_t empty = 0;
    if (IsValid())
        sqlite3_bind_text16(m_stmt, index, text.isEmpty() ? &empty : text.utf16(), int(text.size() * 2), SQLITE_STATIC);
}

void Statement::BindInt(int index, qint64 value)
{
    if (IsValid())
        sqlite3_bind_int64(m_stmt, index, value);
}

bool Statement::Execute()
{
    if (!IsValid())
        return false;
    Database *db = *m_db;
    db->clearError();
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    const bool ok = rc == SQLITE_DONE;
    db->m_recordsAffected = ok ? sqlite3_changes(sqlite3_db_handle(m_stmt)) : 0;
    if (!ok)
        db->setSqliteError(sqlite3_reset(m_stmt));
    sqlite3_reset(m_stmt);
    return ok;
}

bool Statement::Next()
{
    if (!IsValid())
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        (*m_db)->setSqliteError(sqlite3_reset(m_stmt));
    return false;
}

int Statement::ColumnCount() const
{
    return IsValid() ? sqlite3_column_count(m_stmt) : 0;
}

QVariant Statement::Value(int column) const
{
    if (!IsValid() || column < 0 || column >= sqlite3_data_count(m_stmt))
        return {};
    return SqliteValue::Read(m_stmt, column, SqliteValue::ColumnType(m_stmt, column));
}

void Statement::Reset()
{
    if (!IsValid())
        return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}
