#pragma once
// The parameter dialog of soft-bad creation ("Создание Soft-Bad"): the range
// and how its sectors are chosen.  It closes with OK only when the end is not
// below the start.
#include <cstdint>

#include "common/RangeFields.h"

class Int64SpinBox;
class RadioGroup;

class TfrmMakeBadParam : public RangeParamDialog {
    Q_OBJECT
public:
    explicit TfrmMakeBadParam(QWidget* parent = nullptr);

    // Both range fields run from 0 to `lastLba`; the end shows it.
    void Setup(int64_t lastLba) { Range()->SetMaximum(lastLba); }

    LbaRangeFields* gbAdres;
    Int64SpinBox* speStartLBA;
    Int64SpinBox* speStopLBA;
    RadioGroup* rgbKind;  // 0 "Случайны выбор", 1 "Непрерывно"

    int64_t StartLBA() const { return Range()->Start(); }
    int64_t EndLBA() const { return Range()->End(); }
    bool RandomMode() const;  // item 0
};
