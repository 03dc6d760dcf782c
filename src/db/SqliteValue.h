#pragma once

#include "db/TableDef.h"

#include <QString>
#include <QVariant>
#include <optional>

struct sqlite3_stmt;

/** @short Conversions between QVariant and SQLite values, shared by statements and results. */
namespace SqliteValue {

/** Binds @p value at @p index: bool as 0/1, dates as stored date texts, NULL when invalid. */
int Bind(sqlite3_stmt *stmt, int index, const QVariant &value);
/** The field type of a result column that is a plain table column, nullopt for expressions. */
std::optional<FieldType> ColumnType(sqlite3_stmt *stmt, int column);
/** A result value: bool for Boolean columns, QDateTime for Date columns holding a date. */
QVariant Read(sqlite3_stmt *stmt, int column, std::optional<FieldType> type);
/** A column name of the result. */
QString ColumnName(sqlite3_stmt *stmt, int column);

} // namespace SqliteValue
