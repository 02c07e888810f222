#pragma once
// The ATA status register: ERR (bit 0) and CORR (bit 2) light red, the others lime.
#include "monitor/KVCustomRegister.h"

class TKVStatusReg : public TKVCustomRegister {
    Q_OBJECT
    Q_PROPERTY(QColor ActiveColorOK READ ActiveColorOK WRITE SetActiveColorOK)
    Q_PROPERTY(QColor ActiveColorErr READ ActiveColorErr WRITE SetActiveColorErr)
    Q_PROPERTY(QColor InactiveColor READ InactiveColor WRITE SetInactiveColor)
    Q_PROPERTY(bool Bit0 READ Bit0)
    Q_PROPERTY(bool Bit1 READ Bit1)
    Q_PROPERTY(bool Bit2 READ Bit2)
    Q_PROPERTY(bool Bit3 READ Bit3)
    Q_PROPERTY(bool Bit4 READ Bit4)
    Q_PROPERTY(bool Bit5 READ Bit5)
    Q_PROPERTY(bool Bit6 READ Bit6)
    Q_PROPERTY(bool Bit7 READ Bit7)
    Q_PROPERTY(int RegValue READ RegValue WRITE SetRegValueInt)
public:
    explicit TKVStatusReg(QWidget* owner = nullptr);

    QColor ActiveColorOK() const { return Bit7ActiveColor(); }
    void SetActiveColorOK(const QColor& c) { SetActiveColorOKGroup(c); }
    QColor ActiveColorErr() const { return Bit0ActiveColor(); }
    void SetActiveColorErr(const QColor& c) { SetActiveColorErrGroup(c); }
    QColor InactiveColor() const { return Bit0InactiveColor(); }
    void SetInactiveColor(const QColor& c) { SetInactiveColorGroup(c); }

    bool Bit0() const { return LedState(0); }
    bool Bit1() const { return LedState(1); }
    bool Bit2() const { return LedState(2); }
    bool Bit3() const { return LedState(3); }
    bool Bit4() const { return LedState(4); }
    bool Bit5() const { return LedState(5); }
    bool Bit6() const { return LedState(6); }
    bool Bit7() const { return LedState(7); }

    using TKVCustomRegister::RegValue;
    using TKVCustomRegister::SetRegValue;

private:
    void SetRegValueInt(int v) { SetRegValue(uint8_t(v)); }
};
