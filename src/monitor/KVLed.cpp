#include "monitor/KVLed.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>

namespace kvcolor {
QColor clBtnFace()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
}
}  // namespace kvcolor

// ---- TKVLedFace -------------------------------------------------------------

TKVLedFace::TKVLedFace(QWidget* parent) : QWidget(parent), m_color(kvcolor::clBtnFace()) {}

void TKVLedFace::SetColor(const QColor& c)
{
    if (c == m_color)
        return;
    m_color = c;
    update();
}

void TKVLedFace::SetBevels(TBevelCut inner, TBevelCut outer)
{
    if (inner == m_inner && outer == m_outer)
        return;
    m_inner = inner;
    m_outer = outer;
    update();
}

namespace {

// Draws a one-pixel bevel on the edge of `r`.
void DrawBevel(QPainter& p, const QRect& r, TBevelCut cut)
{
    if (cut == TBevelCut::bvNone)
        return;
    const QColor light(255, 255, 255);
    const QColor shadow(128, 128, 128);
    const QColor topLeft = cut == TBevelCut::bvRaised ? light : shadow;
    const QColor bottomRight = cut == TBevelCut::bvRaised ? shadow : light;
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

void TKVLedFace::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, m_color);
    DrawBevel(p, r, m_outer);
    if (m_outer != TBevelCut::bvNone)
        r.adjust(1, 1, -1, -1);
    DrawBevel(p, r, m_inner);
}

// ---- TKVLed -----------------------------------------------------------------

TKVLed::TKVLed(QWidget* owner) : QWidget(owner)
{
    resize(36, 32);
    m_face = new TKVLedFace(this);
    m_face->setObjectName(QStringLiteral("Face"));
    m_face->setGeometry(8, 4, 22, 10);
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("Caption"));
    QFont f = m_caption->font();
    f.setPixelSize(10);
    m_caption->setFont(f);
    m_caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_caption->setGeometry(1, 17, width() - 2, 13);

    SetLedStyle(lsBorder);
    SetActiveColor(kvcolor::clLime);
    SetInactiveColor(kvcolor::clBtnFace());
    SetLedState(true);
    SetText(QStringLiteral("Text"));
}

void TKVLed::SetText(const QString& t)
{
    if (t == m_text)
        return;
    m_text = t;
    m_caption->setText(t);
}

void TKVLed::SetLedStyle(TLedStyle v)
{
    if (v == m_style)
        return;
    m_style = v;
    switch (v) {
    case lsUp: m_face->SetBevels(TBevelCut::bvNone, TBevelCut::bvRaised); break;
    case lsDown: m_face->SetBevels(TBevelCut::bvLowered, TBevelCut::bvNone); break;
    case lsBorder: m_face->SetBevels(TBevelCut::bvLowered, TBevelCut::bvRaised); break;
    case lsNone: m_face->SetBevels(TBevelCut::bvNone, TBevelCut::bvNone); break;
    default: break;  // unknown style: stored, bevels unchanged
    }
}

void TKVLed::SetActiveColor(const QColor& c)
{
    if (c == m_activeColor)
        return;
    m_activeColor = c;
    if (m_state)
        m_face->SetColor(c);
}

void TKVLed::SetInactiveColor(const QColor& c)
{
    if (c == m_inactiveColor)
        return;
    m_inactiveColor = c;
    if (!m_state)
        m_face->SetColor(c);
}

void TKVLed::SetLedState(bool s)
{
    if (s == m_state)
        return;
    m_state = s;
    m_face->SetColor(s ? m_activeColor : m_inactiveColor);
}
