#include "viewer/QueryResultModel.h"

#include "db/Recordset.h"

#include <algorithm>

QueryResultModel::QueryResultModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void QueryResultModel::SetResult(const Recordset &rs)
{
    beginResetModel();
    m_headers = rs.FieldNames();
    m_rows.clear();
    m_rows.reserve(size_t(rs.RecordCount()));
    for (int row = 0; row < rs.RecordCount(); ++row) {
        QStringList cells;
        cells.reserve(rs.FieldCount());
        for (int column = 0; column < rs.FieldCount(); ++column)
            cells.append(rs.Value(row, column).toString());
        m_rows.push_back(std::move(cells));
    }
    endResetModel();
}

void QueryResultModel::Clear()
{
    beginResetModel();
    m_headers.clear();
    m_rows.clear();
    endResetModel();
}

int QueryResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QueryResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant QueryResultModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return m_rows[size_t(index.row())].value(index.column());
}

QVariant QueryResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool QueryResultModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    m_headers[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void QueryResultModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_headers.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<size_t> sorted(m_rows.size());
    for (size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = i;
    std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
        const int c = QString::compare(m_rows[a].value(column), m_rows[b].value(column), Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    std::vector<QStringList> rows;
    rows.reserve(m_rows.size());
    std::vector<int> newPosition(m_rows.size());
    for (size_t position = 0; position < sorted.size(); ++position) {
        newPosition[sorted[position]] = int(position);
        rows.push_back(std::move(m_rows[sorted[position]]));
    }
    m_rows = std::move(rows);
    QModelIndexList after;
    for (const QModelIndex &index : before)
        after.append(this->index(newPosition[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
