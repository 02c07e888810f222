#include "surface/ScanParam.h"

#include "common/Int64SpinBox.h"

TfrmScanParam::TfrmScanParam(QWidget* parent)
    : RangeParamDialog({"frmScanParam", QStringLiteral("Параметры проверки"),
                        {QStringLiteral(" Границы участка "), QStringLiteral("Начальный LBA"), "speStartLBA",
                         QStringLiteral("Конечный LBA"), "speStopLBA"},
                        LbaRangeFields::Order::EndAboveStart, QStringLiteral("Help"), 110},
                       parent)
{
    speStartLBA = Range()->StartField();
    speStopLBA = Range()->EndField();
}

void TfrmScanParam::Setup(int64_t endLimit, int64_t lastStart, int64_t lastStop)
{
    Range()->SetMaximum(endLimit);
    speStartLBA->setValue(lastStart);
    if (lastStop != 0 && lastStop <= endLimit)
        speStopLBA->setValue(lastStop);
}

int64_t TfrmScanParam::StartLBA() const { return Range()->Start(); }
int64_t TfrmScanParam::StopLBA() const { return Range()->End(); }
