#pragma once
// The scan map grid: 40 columns of 10 x 19 pixel cells over a ScanMap,
// drawing only the rows in view, so a map of millions of rows scrolls as
// fast as one of ten.  Scrolling is by whole rows.
#include <QAbstractScrollArea>
#include <QColor>
#include <cstdint>

#include "surface/ScanMap.h"

class ScanMapView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 10;
    static constexpr int kCellHeight = 19;
    static constexpr int kGridLine = 1;
    static constexpr int kPitchX = kCellWidth + kGridLine;
    static constexpr int kPitchY = kCellHeight + kGridLine;

    explicit ScanMapView(scan::ScanMap* map, QWidget* parent = nullptr);

    // The map grew or was cleared: scroll range and picture follow.
    void MapChanged();
    // Scrolls so that `row` is in view.  A hidden view (another tab is
    // shown) has no size to go by yet: it scrolls when it is shown.
    void EnsureVisible(int64_t row);
    // Makes `cell` current (as the user would), scrolls to it and reports it.
    void SelectCell(scan::ScanMap::Cell cell);
    int64_t TopRow() const;
    int VisibleRows() const;
    // Cell rectangle in viewport coordinates (without the grid line).
    QRect CellRect(int64_t row, int col) const;
    // Fill colour of a cell value (class + 1; 0 = empty).
    static QColor FillColour(uint8_t value);

    QSize sizeHint() const override;

signals:
    // A cell became current by the user's click or key, or by SelectCell.
    void CellSelected(int64_t row, int col);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollBars();
    void ScrollTo(int64_t row);

    scan::ScanMap* m_map;
    int64_t m_pendingRow = -1;  // to bring into view once shown and laid out
};
