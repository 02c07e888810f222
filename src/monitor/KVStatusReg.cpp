#include "monitor/KVStatusReg.h"

#include "monitor/KVLed.h"

TKVStatusReg::TKVStatusReg(QWidget* owner) : TKVCustomRegister(owner)
{
    setTitle(QStringLiteral("Регистр состояния"));
    static const char* const kNames[8] = {"ERR", "INX", "CORR", "DRQ", "DSC", "WFT", "DRDY", "BSY"};
    for (int bit = 7; bit >= 0; --bit)
        SetLedText(bit, QString::fromLatin1(kNames[bit]));
    SetActiveColorOK(kvcolor::clLime);
    SetActiveColorErr(kvcolor::clRed);
    SetInactiveColor(kvcolor::clSilver);
}
