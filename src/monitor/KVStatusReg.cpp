#include "monitor/KVStatusReg.h"

#include "monitor/KVLed.h"

TKVStatusReg::TKVStatusReg(QWidget* owner)
    : TKVColorRegister(owner, {"Регистр состояния",
                               {"ERR", "INX", "CORR", "DRQ", "DSC", "WFT", "DRDY", "BSY"},
                               kvcolor::clLime,
                               kvcolor::clRed,
                               kvcolor::clSilver})
{
}
