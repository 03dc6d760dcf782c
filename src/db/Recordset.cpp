#include "db/Recordset.h"

Recordset::Recordset(QStringList names, QList<std::optional<FieldType>> types, QList<QVariant> cells)
    : m_names(std::move(names)), m_types(std::move(types)), m_cells(std::move(cells))
{
}

int Recordset::FieldIndex(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void Recordset::Move(int row)
{
    m_row = (row < 0 || row >= RecordCount()) ? RecordCount() : row;
}

QVariant Recordset::Value(int row, int column) const
{
    if (row < 0 || row >= RecordCount() || column < 0 || column >= FieldCount())
        return {};
    return m_cells.at(qsizetype(row) * FieldCount() + column);
}
