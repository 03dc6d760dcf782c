#pragma once

#include "db/TableDef.h"

#include <QHash>
#include <QString>
#include <QStringList>

/**
 * @short Table definitions as SQLite schema text and back: the column definitions that
 * CreateTable writes, and the reading of a stored CREATE TABLE text that Fields needs.
 */
namespace TableSchemaSql {

/**
 * The column definition of a field. Size and zero-length rules are named CHECK constraints
 * ("Size_Field", "ZeroLength_Field"), so that a refused value maps to its error number; the
 * description is a comment.
 */
QString ColumnDefinition(const FieldDef &field);
/** The quoted names of @p fields joined by ", ". */
QString ColumnList(const QStringList &fields);
/**
 * The column definitions of a CREATE TABLE text by lower-case column name: the parts between
 * top-level commas, quotes and comments respected.
 */
QHash<QString, QString> ColumnDefinitions(const QString &createSql);
/** The text of the first comment in a column definition, trimmed; empty when there is none. */
QString CommentIn(const QString &definition);

} // namespace TableSchemaSql
