#pragma once

#include "db/TableDef.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

/**
 * @short A read-only snapshot of a statement's result: column names and types and all rows.
 *
 * Values are QVariants: NULL is an invalid QVariant of the column's kind; Boolean columns
 * give bool, Date columns QDateTime (local time), whole numbers qlonglong, texts QString.
 * The cursor starts on the first row; IsEOF() is true past the last row (at once when empty).
 */
class Recordset
{
public:
    Recordset() = default;
    Recordset(QStringList names, QList<std::optional<FieldType>> types, QList<QVariant> cells);

    int FieldCount() const { return int(m_names.size()); }
    QString FieldName(int column) const { return m_names.value(column); }
    QStringList FieldNames() const { return m_names; }
    /** The column's field type when it is a plain table column, nullopt for expressions. */
    std::optional<FieldType> FieldTypeOf(int column) const { return m_types.value(column); }
    /** The column of @p name (case-insensitive, the first of equal names), or -1. */
    int FieldIndex(const QString &name) const;

    int RecordCount() const { return FieldCount() ? int(m_cells.size() / FieldCount()) : 0; }
    bool IsEOF() const { return m_row >= RecordCount(); }
    int AbsolutePosition() const { return m_row; }
    /** Moves to @p row (0-based); out of range leaves the cursor at EOF. */
    void Move(int row);
    void MoveNext() { Move(m_row + 1); }

    /** The value at the current row. */
    QVariant Value(int column) const { return Value(m_row, column); }
    QVariant Value(const QString &name) const { return Value(m_row, FieldIndex(name)); }
    /** The value at @p row; an invalid QVariant when out of range. */
    QVariant Value(int row, int column) const;

private:
    QStringList m_names;
    QList<std::optional<FieldType>> m_types;
    QList<QVariant> m_cells; // row-major
    int m_row = 0;
};
