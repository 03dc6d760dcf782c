#include "db/Transaction.h"

#include "db/Database.h"

Transaction::Transaction(Database &db) : m_db(db)
{
    m_active = m_db.BeginTrans();
}

Transaction::~Transaction()
{
    if (m_active)
        m_db.Rollback();
}

bool Transaction::Commit()
{
    if (!m_active)
        return false;
    m_active = false;
    return m_db.CommitTrans();
}
