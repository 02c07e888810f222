#pragma once
// An 8-bit register shown as a captioned group of eight lamps, bit 7 on the
// left.  The descendants give the bits their names and colours and publish
// RegValue.
#include <QColor>
#include <QGroupBox>
#include <QString>
#include <array>
#include <cstdint>

class TKVLed;

class TKVCustomRegister : public QGroupBox {
    Q_OBJECT
public:
    explicit TKVCustomRegister(QWidget* owner = nullptr);

    uint8_t RegValue() const { return m_value; }
    // The lamp of one bit, for inspection (bit 0 to 7).
    const TKVLed* Led(int bit) const { return m_leds[bit & 7]; }
    // How many times a RegValue change has let pending events run.
    int EventPasses() const { return m_eventPasses; }

protected:
    // Lights the lamps for `v`, bit 7 first, then lets pending events run so
    // that they repaint at once.  Does nothing when `v` is the stored byte.
    void SetRegValue(uint8_t v);

    bool LedState(int bit) const;
    void SetLedActiveColor(int bit, const QColor& c);
    void SetLedInactiveColor(int bit, const QColor& c);
    void SetLedText(int bit, const QString& t);
    QColor Bit0ActiveColor() const;
    QColor Bit0InactiveColor() const;
    QColor Bit7ActiveColor() const;

    // The colour groups both register kinds share: the trouble bits (0 and
    // 2), the other bits, and the dark colour of all eight.
    void SetActiveColorErrGroup(const QColor& c);
    void SetActiveColorOKGroup(const QColor& c);
    void SetInactiveColorGroup(const QColor& c);

private:
    std::array<TKVLed*, 8> m_leds{};
    uint8_t m_value = 0;
    int m_eventPasses = 0;
};
