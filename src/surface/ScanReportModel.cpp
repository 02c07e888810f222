#include "surface/ScanReportModel.h"

QVariant ReportListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
        return {};
    return m_lines->at(index.row());
}

void ReportListModel::Reset()
{
    beginResetModel();
    m_rows = 0;
    endResetModel();
}

void ReportListModel::Sync()
{
    const int n = int(m_lines->size());
    if (n == m_rows)
        return;
    if (n < m_rows) {
        beginResetModel();
        m_rows = n;
        endResetModel();
        return;
    }
    beginInsertRows({}, m_rows, n - 1);
    m_rows = n;
    endInsertRows();
}
