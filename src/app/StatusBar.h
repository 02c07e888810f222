#pragma once
// A status bar of fixed-width panels with centred text; a panel marked
// owner-drawn is painted by the OnDrawPanel handler instead.  A text too long
// for its panel is shortened in the middle ("OnBoard Intel…ndary Channel"),
// and every panel shows its whole text as its tooltip.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QFontMetrics;

// Panel widths for a font: each panel gets its design width, or more when
// one of its fixed texts (`fixedTexts[i]`, drawn with `metrics[i]`) would not
// fit it; what the fixed panels take beyond their design width comes off the
// panels that hold free text (`shrinkable`, first the last of them), so the
// bar keeps its width.  The design widths come from a smaller system font.
std::vector<int> FitPanelWidths(const std::vector<int>& design, const std::vector<QStringList>& fixedTexts,
                                const std::vector<const QFontMetrics*>& metrics, const std::vector<int>& shrinkable);

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        int width = 50;
        QString text;
        bool ownerDraw = false;
    };

    explicit TStatusBar(QWidget* parent = nullptr);

    int AddPanel(int width, bool ownerDraw = false);
    int PanelCount() const { return int(m_panels.size()); }
    const Panel& PanelAt(int index) const { return m_panels.at(index); }
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;
    // The rectangle of a panel's text area.
    QRect PanelRect(int index) const;
    // The text as drawn: shortened in the middle when it does not fit.
    QString DisplayedText(int index) const;
    // The panel under a point, or -1.
    int PanelIndexAt(const QPoint& pos) const;

    // Called for owner-drawn panels with the painter, the panel and its
    // rectangle.
    std::function<void(TStatusBar*, int, QPainter&, const QRect&)> OnDrawPanel;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<Panel> m_panels;
};
