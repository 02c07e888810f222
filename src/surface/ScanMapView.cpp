#include "surface/ScanMapView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

using scan::ScanMap;

ScanMapView::ScanMapView(scan::ScanMap* map, QWidget* parent) : QAbstractScrollArea(parent), m_map(map)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(kPitchX);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f = font();
    f.setBold(true);
    setFont(f);
    UpdateScrollBars();
}

QSize ScanMapView::sizeHint() const
{
    const int w = ScanMap::kColumns * kPitchX + kGridLine + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    return {w, 12 * kPitchY};
}

QColor ScanMapView::FillColour(uint8_t value)
{
    switch (value) {
    case 0: return QColor(255, 255, 255);
    case 1 + scan::kT5: return QColor(229, 229, 229);
    case 1 + scan::kT15: return QColor(199, 199, 199);
    case 1 + scan::kT50: return QColor(145, 145, 145);
    case 1 + scan::kT150: return QColor(0, 255, 0);
    case 1 + scan::kT500: return QColor(255, 128, 0);
    case 1 + scan::kT1000: return QColor(255, 0, 0);
    default: return QColor(0, 0, 255);
    }
}

int64_t ScanMapView::TopRow() const { return verticalScrollBar()->value(); }

int ScanMapView::VisibleRows() const { return std::max(1, viewport()->height() / kPitchY); }

QRect ScanMapView::CellRect(int64_t row, int col) const
{
    const int64_t y = (row - TopRow()) * kPitchY + kGridLine;
    const int x = col * kPitchX + kGridLine - horizontalScrollBar()->value();
    return QRect(x, int(std::clamp<int64_t>(y, INT_MIN / 2, INT_MAX / 2)), kCellWidth, kCellHeight);
}

void ScanMapView::UpdateScrollBars()
{
    const int64_t rows = m_map->RowCount();
    const int64_t maxTop = std::max<int64_t>(0, rows - VisibleRows());
    QScrollBar* v = verticalScrollBar();
    v->setPageStep(VisibleRows());
    v->setRange(0, int(std::min<int64_t>(maxTop, INT_MAX)));
    const int width = ScanMap::kColumns * kPitchX + kGridLine;
    QScrollBar* h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setRange(0, std::max(0, width - viewport()->width()));
}

void ScanMapView::MapChanged()
{
    UpdateScrollBars();
    viewport()->update();
}

void ScanMapView::EnsureVisible(int64_t row)
{
    if (!isVisible()) {
        m_pendingRow = row;
        return;
    }
    m_pendingRow = -1;
    ScrollTo(row);
}

void ScanMapView::ScrollTo(int64_t row)
{
    UpdateScrollBars();
    const int64_t top = TopRow();
    const int rows = VisibleRows();
    if (row < top)
        verticalScrollBar()->setValue(int(row));
    else if (row >= top + rows)
        verticalScrollBar()->setValue(int(std::min<int64_t>(row - rows + 1, INT_MAX)));
}

void ScanMapView::SelectCell(ScanMap::Cell cell)
{
    m_map->SetCurrent(cell);
    const ScanMap::Cell c = m_map->Current();
    EnsureVisible(c.row);
    viewport()->update();
    emit CellSelected(c.row, c.col);
}

void ScanMapView::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
    if (m_pendingRow >= 0 && isVisible())
        ScrollTo(m_pendingRow);
}

void ScanMapView::showEvent(QShowEvent* e)
{
    QAbstractScrollArea::showEvent(e);
    // The size may still change before the first paint; the row stays
    // pending until then.
    if (m_pendingRow >= 0)
        ScrollTo(m_pendingRow);
}

void ScanMapView::scrollContentsBy(int, int) { viewport()->update(); }

void ScanMapView::paintEvent(QPaintEvent* e)
{
    m_pendingRow = -1;  // shown with its final size
    QPainter p(viewport());
    const QRect area = e->rect();
    const int64_t top = TopRow();
    const int64_t rows = m_map->RowCount();
    // Grid lines behind the rows there are, the window colour elsewhere.
    p.fillRect(area, palette().color(QPalette::Base));
    const int64_t shownRows = std::clamp<int64_t>(rows - top, 0, viewport()->height() / kPitchY + 2);
    const QRect gridArea(-horizontalScrollBar()->value(), 0, ScanMap::kColumns * kPitchX + kGridLine,
                         int(shownRows) * kPitchY + kGridLine);
    p.fillRect(gridArea.intersected(area), QColor(192, 192, 192));
    const int firstVis = std::max(0, (area.top() - kGridLine) / kPitchY);
    const int lastVis = area.bottom() / kPitchY;
    const QFontMetrics fm(font());
    const ScanMap::Cell cur = m_map->Current();
    const QColor yellow(255, 255, 0);
    p.setFont(font());

    for (int vr = firstVis; vr <= lastVis; ++vr) {
        const int64_t row = top + vr;
        if (row >= rows)
            break;
        for (int col = 0; col < ScanMap::kColumns; ++col) {
            const QRect r = CellRect(row, col);
            if (!r.intersects(area))
                continue;
            const uint8_t v = m_map->Value(row, col);
            const bool current = cur.row == row && cur.col == col;
            p.fillRect(r, FillColour(v));
            if (v > 1 + scan::kT1000) {
                // Error classes: the code letter centred in bold yellow.
                const QString text(scan::MapCode(static_cast<scan::BlockClass>(v - 1)));
                const int x = r.left() + (r.width() - fm.horizontalAdvance(text)) / 2;
                const int y = r.top() + (r.height() - fm.height()) / 2;
                p.setPen(yellow);
                p.drawText(x, y + fm.ascent(), text);
            }
            if (current && isEnabled()) {
                // Two black lines around the current cell, over the grid
                // lines and just inside them: no class has black, and no
                // fill could be taken for a class colour.
                p.setPen(QPen(Qt::black, 1, hasFocus() ? Qt::SolidLine : Qt::DotLine));
                p.drawRect(r.adjusted(-1, -1, 0, 0));
                p.drawRect(r.adjusted(0, 0, -1, -1));
            }
        }
    }
}

void ScanMapView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    const int col = (pos.x() + horizontalScrollBar()->value()) / kPitchX;
    const int64_t row = TopRow() + pos.y() / kPitchY;
    if (col >= 0 && col < ScanMap::kColumns && row < m_map->RowCount())
        SelectCell({row, col});
}

void ScanMapView::keyPressEvent(QKeyEvent* e)
{
    ScanMap::Cell c = m_map->Current();
    switch (e->key()) {
    case Qt::Key_Left: --c.col; break;
    case Qt::Key_Right: ++c.col; break;
    case Qt::Key_Up: --c.row; break;
    case Qt::Key_Down: ++c.row; break;
    default: QAbstractScrollArea::keyPressEvent(e); return;
    }
    if (c.col < 0 || c.col >= ScanMap::kColumns || c.row < 0 || c.row >= m_map->RowCount())
        return;
    SelectCell(c);
}
