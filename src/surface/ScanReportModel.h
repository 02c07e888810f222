#pragma once
// The list model behind the scan report (the "Отчет" tab): the window keeps
// its report lines, the model shows them; rows are announced in batches when
// the display is refreshed, not line by line.
#include <QAbstractListModel>
#include <QStringList>

class ReportListModel : public QAbstractListModel {
public:
    explicit ReportListModel(const QStringList* lines, QObject* parent) : QAbstractListModel(parent), m_lines(lines) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    QVariant data(const QModelIndex& index, int role) const override;
    // The lines were emptied (call after clearing them).
    void Reset();
    // Lines were appended.
    void Sync();

private:
    const QStringList* m_lines;
    int m_rows = 0;
};
