#pragma once
// One lamp with a caption under it: a 22 x 10 face whose colour shows the
// state and whose bevels show the style, inside a 36 x 32 control.
#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;

// The named colours the lamps use.
namespace kvcolor {
inline const QColor clLime{0, 255, 0};
inline const QColor clRed{255, 0, 0};
inline const QColor clSilver{192, 192, 192};
inline const QColor clBlack{0, 0, 0};
// The system's button-face colour.
QColor clBtnFace();
}  // namespace kvcolor

// The bevel styles of a lamp face.  Values outside the four are accepted and
// stored but leave the bevels as they are.
enum TLedStyle : int { lsUp, lsDown, lsBorder, lsNone };

// One bevel of a panel.
enum class TBevelCut { bvNone, bvLowered, bvRaised };

// The lamp face: a flat panel of one colour with an inner and an outer bevel.
class TKVLedFace : public QWidget {
    Q_OBJECT
public:
    explicit TKVLedFace(QWidget* parent);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& c);
    TBevelCut BevelInner() const { return m_inner; }
    TBevelCut BevelOuter() const { return m_outer; }
    void SetBevels(TBevelCut inner, TBevelCut outer);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color;
    TBevelCut m_inner = TBevelCut::bvNone;
    TBevelCut m_outer = TBevelCut::bvRaised;
};

class TKVLed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int LedStyle READ LedStyleValue WRITE SetLedStyleValue)
    Q_PROPERTY(QColor ActiveColor READ ActiveColor WRITE SetActiveColor)
    Q_PROPERTY(QColor InactiveColor READ InactiveColor WRITE SetInactiveColor)
    Q_PROPERTY(bool LedState READ LedState WRITE SetLedState)
public:
    explicit TKVLed(QWidget* owner = nullptr);

    QString Text() const { return m_text; }
    void SetText(const QString& t);
    TLedStyle LedStyle() const { return m_style; }
    void SetLedStyle(TLedStyle v);
    QColor ActiveColor() const { return m_activeColor; }
    void SetActiveColor(const QColor& c);
    QColor InactiveColor() const { return m_inactiveColor; }
    void SetInactiveColor(const QColor& c);
    bool LedState() const { return m_state; }
    void SetLedState(bool s);

    const TKVLedFace* Face() const { return m_face; }
    const QLabel* Caption() const { return m_caption; }

private:
    int LedStyleValue() const { return m_style; }
    void SetLedStyleValue(int v) { SetLedStyle(static_cast<TLedStyle>(v)); }

    TKVLedFace* m_face;
    QLabel* m_caption;
    // Start values before the constructor applies the defaults through the
    // setters, so that each setter sees a change.
    QString m_text;
    TLedStyle m_style = lsUp;
    QColor m_activeColor = kvcolor::clBlack;
    QColor m_inactiveColor = kvcolor::clBlack;
    bool m_state = false;
};
