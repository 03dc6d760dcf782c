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
    if (m_db.CommitTrans())
        return true;
    // A failed commit (a full disk, a lock) leaves the transaction open: end it here, so that
    // later statements do not run inside it and vanish with it.
    m_db.Rollback();
    return false;
}
