#include "db/QueryRepository.h"

#include "db/Database.h"
#include "db/Transaction.h"

QStringList QueryRepository::Names()
{
    return m_db.QueryDefNames();
}

std::optional<QString> QueryRepository::Definition(const QString &name)
{
    return m_db.QueryDefSQL(name);
}

bool QueryRepository::Create(const QString &name, const QString &jetSql)
{
    return m_db.CreateQueryDef(name, jetSql);
}

bool QueryRepository::Overwrite(const QString &name, const QString &jetSql)
{
    Transaction transaction(m_db);
    return transaction.IsActive() && m_db.DeleteQueryDef(name) && m_db.CreateQueryDef(name, jetSql)
        && transaction.Commit();
}

bool QueryRepository::Delete(const QString &name)
{
    return m_db.DeleteQueryDef(name);
}

QStringList QueryRepository::TableNames()
{
    QStringList names;
    for (const TableInfo &table : m_db.TableDefs()) {
        if (table.attributes == 0 && table.name.compare(QStringLiteral("NGRule"), Qt::CaseInsensitive) != 0)
            names.append(table.name);
    }
    return names;
}

QList<FieldDef> QueryRepository::Fields(const QString &table)
{
    return m_db.Fields(table).value_or(QList<FieldDef>());
}

const DbError &QueryRepository::LastError() const
{
    return m_db.LastError();
}
