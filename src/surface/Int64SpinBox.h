#pragma once
// The 64-bit spin edit is shared by every range dialog: common/Int64SpinBox.h.
#include "common/Int64SpinBox.h"
