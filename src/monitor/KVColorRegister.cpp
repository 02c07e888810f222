#include "monitor/KVColorRegister.h"

TKVColorRegister::TKVColorRegister(QWidget* owner, const Design& design) : TKVCustomRegister(owner)
{
    setTitle(QString::fromUtf8(design.caption));
    for (int bit = 7; bit >= 0; --bit)
        SetLedText(bit, QString::fromLatin1(design.names[bit]));
    SetActiveColorOK(design.activeOK);
    SetActiveColorErr(design.activeErr);
    SetInactiveColor(design.inactive);
}
