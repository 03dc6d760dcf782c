#pragma once

#include "db/Database.h"

#include <QVariantList>
#include <functional>

/**
 * @short The rows of a prepared statement for the repositories: @p jetSql with @p values
 * bound by position (?1, ?2, ...), each row handed to @p row. False when the statement could
 * not be prepared or failed while stepping (the reason in db.LastError()).
 */
inline bool forEachRow(Database &db, const QString &jetSql, const QVariantList &values,
                       const std::function<void(const Statement &)> &row)
{
    Statement statement = db.Prepare(jetSql);
    if (!statement.IsValid())
        return false;
    for (int i = 0; i < values.size(); ++i)
        statement.Bind(i + 1, values.at(i));
    while (statement.Next())
        row(statement);
    return !db.LastError();
}

/** @short Runs the action statement @p jetSql with @p values bound by position; false on failure. */
inline bool executeBound(Database &db, const QString &jetSql, const QVariantList &values)
{
    Statement statement = db.Prepare(jetSql);
    for (int i = 0; i < values.size(); ++i)
        statement.Bind(i + 1, values.at(i));
    return statement.Execute();
}
