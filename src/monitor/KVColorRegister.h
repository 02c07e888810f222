#pragma once
// What the status and the error register have in common: the bit names and
// colours they are built with, and the published colour groups, bit states
// and RegValue.  The two registers differ only in their construction values.
#include <array>

#include "monitor/KVCustomRegister.h"

class TKVColorRegister : public TKVCustomRegister {
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
    struct Design {
        const char* caption;                // UTF-8
        std::array<const char*, 8> names;   // bit 0 first
        QColor activeOK;
        QColor activeErr;
        QColor inactive;
    };

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

protected:
    // Construction in the order the components are built: the lamps (all
    // lit), the caption, the bit captions from bit 7 down, then the colours.
    TKVColorRegister(QWidget* owner, const Design& design);

private:
    void SetRegValueInt(int v) { SetRegValue(uint8_t(v)); }
};
