#include "app/StatusBar.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

namespace {
constexpr int kTextMargin = 2;  // between the text and the bevel
}

std::vector<int> FitPanelWidths(const std::vector<int>& design, const std::vector<QStringList>& fixedTexts,
                                const std::vector<const QFontMetrics*>& metrics, const std::vector<int>& shrinkable)
{
    std::vector<int> widths = design;
    int extra = 0;
    for (size_t i = 0; i < widths.size() && i < fixedTexts.size(); ++i) {
        int need = 0;
        for (const QString& t : fixedTexts[i])
            need = std::max(need, metrics[i]->horizontalAdvance(t));
        // The bevel (3 pixels) and the margins on both sides.
        need += 3 + 2 * kTextMargin + 2;
        if (need > widths[i]) {
            extra += need - widths[i];
            widths[i] = need;
        }
    }
    for (auto it = shrinkable.rbegin(); it != shrinkable.rend() && extra > 0; ++it) {
        // A free-text panel keeps at least half its design width.
        const int give = std::min(extra, widths[size_t(*it)] - design[size_t(*it)] / 2);
        widths[size_t(*it)] -= give;
        extra -= give;
    }
    return widths;
}

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int TStatusBar::AddPanel(int width, bool ownerDraw)
{
    m_panels.push_back({width, QString(), ownerDraw});
    updateGeometry();
    return int(m_panels.size()) - 1;
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (index < 0 || index >= int(m_panels.size()) || m_panels[index].text == text)
        return;
    m_panels[index].text = text;
    update(PanelRect(index).adjusted(-2, -2, 2, 2));
}

QString TStatusBar::PanelText(int index) const
{
    return index >= 0 && index < int(m_panels.size()) ? m_panels[index].text : QString();
}

QRect TStatusBar::PanelRect(int index) const
{
    int x = 0;
    for (int i = 0; i < index; ++i)
        x += m_panels[i].width;
    const int w = index < int(m_panels.size()) ? m_panels[index].width : 0;
    // One pixel of bevel on each side, one pixel of gap to the next panel.
    return QRect(x + 1, 3, std::max(0, w - 3), height() - 4);
}

QString TStatusBar::DisplayedText(int index) const
{
    return fontMetrics().elidedText(PanelText(index), Qt::ElideMiddle, PanelRect(index).width() - 2 * kTextMargin);
}

int TStatusBar::PanelIndexAt(const QPoint& pos) const
{
    int x = 0;
    for (int i = 0; i < int(m_panels.size()); ++i) {
        x += m_panels[i].width;
        if (pos.x() < x)
            return pos.x() >= 0 ? i : -1;
    }
    return -1;
}

bool TStatusBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int i = PanelIndexAt(help->pos());
        if (i >= 0 && !PanelText(i).isEmpty())
            QToolTip::showText(help->globalPos(), PanelText(i), this, PanelRect(i));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

QSize TStatusBar::sizeHint() const
{
    int w = 0;
    for (const Panel& p : m_panels)
        w += p.width;
    return QSize(w, fontMetrics().height() + 7);
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(0, 0, width(), 0);
    for (int i = 0; i < int(m_panels.size()); ++i) {
        const QRect r = PanelRect(i);
        // Sunken bevel around the text area.
        p.setPen(pal.color(QPalette::Mid));
        p.drawLine(r.left() - 1, r.top() - 1, r.right() + 1, r.top() - 1);
        p.drawLine(r.left() - 1, r.top() - 1, r.left() - 1, r.bottom() + 1);
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(r.left() - 1, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
        p.drawLine(r.right() + 1, r.top() - 1, r.right() + 1, r.bottom() + 1);
        p.save();
        p.setClipRect(r);
        if (m_panels[i].ownerDraw) {
            if (OnDrawPanel)
                OnDrawPanel(this, i, p, r);
        } else {
            p.setPen(pal.color(QPalette::WindowText));
            p.drawText(r, Qt::AlignCenter, DisplayedText(i));
        }
        p.restore();
    }
}
