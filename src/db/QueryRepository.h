#pragma once

#include "db/DbError.h"
#include "db/TableDef.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class Database;

/**
 * @short The stored queries of the log database as the query window lists, saves, overwrites
 * and deletes them, and the tables and fields it offers as a help for writing.
 *
 * A stored query is a name (compared without regard to case) and its SQL text exactly as
 * typed. Writes report failure through their result, with the reason in LastError().
 */
class QueryRepository
{
public:
    explicit QueryRepository(Database &db) : m_db(db) {}

    /** @short The names of the stored queries, sorted by name. */
    QStringList Names();
    /** @short The SQL text of stored query @p name; nullopt when there is none. */
    std::optional<QString> Definition(const QString &name);
    /**
     * @short Stores a new query: 3012 when a query or table of that name exists; a statement
     * that cannot run is refused with its error.
     */
    [[nodiscard]] bool Create(const QString &name, const QString &jetSql);
    /**
     * @short Replaces stored query @p name by @p jetSql (under the name as written now), in
     * one transaction: on failure the old query is kept as it was.
     */
    [[nodiscard]] bool Overwrite(const QString &name, const QString &jetSql);
    /** @short Removes stored query @p name: 3265 when there is none. */
    [[nodiscard]] bool Delete(const QString &name);

    /**
     * @short The ordinary tables (no system tables) in the order they were made, but for the NG
     * rules (NGRule), which have their own editor; statements may still name it.
     */
    QStringList TableNames();
    /** @short The fields of @p table in column order; empty when there is no such table. */
    QList<FieldDef> Fields(const QString &table);

    const DbError &LastError() const;

private:
    Database &m_db;
};
