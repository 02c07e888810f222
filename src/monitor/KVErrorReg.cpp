#include "monitor/KVErrorReg.h"

#include "monitor/KVLed.h"

TKVErrorReg::TKVErrorReg(QWidget* owner)
    : TKVColorRegister(owner, {"Регистр ошибок",
                               {"AMNF", "TONF", "ABRT", "0", "IDNF", "0", "UNC", "BBK"},
                               kvcolor::clRed,
                               kvcolor::clRed,
                               kvcolor::clSilver})
{
}
