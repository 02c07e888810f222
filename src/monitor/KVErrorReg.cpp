#include "monitor/KVErrorReg.h"

#include "monitor/KVLed.h"

TKVErrorReg::TKVErrorReg(QWidget* owner) : TKVCustomRegister(owner)
{
    setTitle(QStringLiteral("Регистр ошибок"));
    static const char* const kNames[8] = {"AMNF", "TONF", "ABRT", "0", "IDNF", "0", "UNC", "BBK"};
    for (int bit = 7; bit >= 0; --bit)
        SetLedText(bit, QString::fromLatin1(kNames[bit]));
    SetActiveColorOK(kvcolor::clRed);
    SetActiveColorErr(kvcolor::clRed);
    SetInactiveColor(kvcolor::clSilver);
}
