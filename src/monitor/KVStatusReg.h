#pragma once
// The ATA status register: ERR (bit 0) and CORR (bit 2) light red, the others lime.
#include "monitor/KVColorRegister.h"

class TKVStatusReg : public TKVColorRegister {
    Q_OBJECT
public:
    explicit TKVStatusReg(QWidget* owner = nullptr);
};
