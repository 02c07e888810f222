#include "monitor/KVCustomRegister.h"

#include <QCoreApplication>

#include "monitor/KVLed.h"

TKVCustomRegister::TKVCustomRegister(QWidget* owner) : QGroupBox(owner)
{
    setTitle(QStringLiteral("8-ми битный регистр"));
    setFixedSize(295, 56);
    for (int bit = 7; bit >= 0; --bit) {
        auto* led = new TKVLed(this);
        led->setObjectName(QStringLiteral("Led%1").arg(bit));
        led->move(4 + 36 * (7 - bit), 16);
        led->SetText(QStringLiteral("Bit%1").arg(bit));
        m_leds[bit] = led;
    }
    // A new lamp is lit, so all eight already show 255.  The byte is stored
    // directly: letting events run from inside a constructor would hand the
    // half-built owner window to whatever is queued.
    m_value = 255;
}

void TKVCustomRegister::SetRegValue(uint8_t v)
{
    if (v == m_value)
        return;
    m_value = v;
    for (int bit = 7; bit >= 0; --bit) {
        const uint8_t mask = uint8_t(1u << bit);
        m_leds[bit]->SetLedState((v & mask) == mask);
    }
    ++m_eventPasses;
    QCoreApplication::processEvents();
}

bool TKVCustomRegister::LedState(int bit) const { return m_leds[bit & 7]->LedState(); }
void TKVCustomRegister::SetLedActiveColor(int bit, const QColor& c) { m_leds[bit & 7]->SetActiveColor(c); }
void TKVCustomRegister::SetLedInactiveColor(int bit, const QColor& c) { m_leds[bit & 7]->SetInactiveColor(c); }
void TKVCustomRegister::SetLedText(int bit, const QString& t) { m_leds[bit & 7]->SetText(t); }
QColor TKVCustomRegister::Bit0ActiveColor() const { return m_leds[0]->ActiveColor(); }
QColor TKVCustomRegister::Bit0InactiveColor() const { return m_leds[0]->InactiveColor(); }
QColor TKVCustomRegister::Bit7ActiveColor() const { return m_leds[7]->ActiveColor(); }

void TKVCustomRegister::SetActiveColorErrGroup(const QColor& c)
{
    if (c == Bit0ActiveColor())
        return;
    SetLedActiveColor(0, c);
    SetLedActiveColor(2, c);
}

void TKVCustomRegister::SetActiveColorOKGroup(const QColor& c)
{
    if (c == Bit7ActiveColor())
        return;
    for (int bit : {1, 3, 4, 5, 6, 7})
        SetLedActiveColor(bit, c);
}

void TKVCustomRegister::SetInactiveColorGroup(const QColor& c)
{
    if (c == Bit0InactiveColor())
        return;
    for (int bit = 0; bit < 8; ++bit)
        SetLedInactiveColor(bit, c);
}
