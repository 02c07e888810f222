#pragma once
// The range dialog of the surface scan ("Параметры проверки"): it closes
// with OK only when the end is above the start.
#include <cstdint>

#include "common/RangeFields.h"

class Int64SpinBox;

class TfrmScanParam : public RangeParamDialog {
    Q_OBJECT
public:
    explicit TfrmScanParam(QWidget* parent = nullptr);

    // Both fields get `endLimit` (the drive's capacity: the end is
    // exclusive) as their upper limit; the end shows it, or `lastStop` when
    // that is neither 0 nor above it; the start shows `lastStart` held
    // within the limits.
    void Setup(int64_t endLimit, int64_t lastStart, int64_t lastStop);

    int64_t StartLBA() const;
    int64_t StopLBA() const;

    Int64SpinBox* speStartLBA;
    Int64SpinBox* speStopLBA;
};
