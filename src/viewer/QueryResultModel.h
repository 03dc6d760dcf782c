#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>
#include <vector>

class Recordset;

/**
 * @short The results list's rows for a query that does not return messages: one column per
 * result field (header = field name), one row per record, cells as text.
 */
class QueryResultModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit QueryResultModel(QObject *parent = nullptr);

    /** @short Replaces columns and rows by those of @p rs (all its records). */
    void SetResult(const Recordset &rs);
    void Clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    /** Sorts by the cell texts, ignoring case; equal rows keep their order. */
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    QStringList m_headers;
    std::vector<QStringList> m_rows;
};
