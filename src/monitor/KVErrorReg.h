#pragma once
// The ATA error register: every lit bit is red.
#include "monitor/KVColorRegister.h"

class TKVErrorReg : public TKVColorRegister {
    Q_OBJECT
public:
    explicit TKVErrorReg(QWidget* owner = nullptr);
};
