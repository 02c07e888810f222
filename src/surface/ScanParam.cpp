#include "surface/ScanParam.h"

#include "common/Services.h"
#include "common/WindowPlace.h"
#include "surface/Int64SpinBox.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmScanParam::TfrmScanParam(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmScanParam"));
    setWindowTitle(QStringLiteral("Параметры проверки"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* group = new QGroupBox(QStringLiteral(" Границы участка "), this);
    speStartLBA = new Int64SpinBox(group);
    speStartLBA->setObjectName(QStringLiteral("speStartLBA"));
    speStopLBA = new Int64SpinBox(group);
    speStopLBA->setObjectName(QStringLiteral("speStopLBA"));
    auto* form = new QFormLayout(group);
    form->addRow(new QLabel(QStringLiteral("Начальный LBA"), group), speStartLBA);
    form->addRow(new QLabel(QStringLiteral("Конечный LBA"), group), speStopLBA);

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbHelp = new QPushButton(QStringLiteral("Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);

    auto* top = new QVBoxLayout(this);
    top->addWidget(group);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(bbOk, &QPushButton::clicked, this, &TfrmScanParam::accept);
    connect(bbCancel, &QPushButton::clicked, this, &TfrmScanParam::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmScanParam::bbHelpClick);
    PlaceCentred(this);  // on the screen
}

void TfrmScanParam::Setup(int64_t endLimit, int64_t lastStart, int64_t lastStop)
{
    speStartLBA->setRange(0, endLimit);
    speStopLBA->setRange(0, endLimit);
    speStopLBA->setValue(endLimit);
    speStartLBA->setValue(lastStart);
    if (lastStop != 0 && lastStop <= endLimit)
        speStopLBA->setValue(lastStop);
}

int64_t TfrmScanParam::StartLBA() const { return speStartLBA->value(); }
int64_t TfrmScanParam::StopLBA() const { return speStopLBA->value(); }

bool TfrmScanParam::FormCloseQuery()
{
    if (StopLBA() > StartLBA())
        return true;
    ShowError(this, QStringLiteral("Конец диапазона не может быть меньше начала!"));
    return false;
}

void TfrmScanParam::accept()
{
    if (FormCloseQuery())
        QDialog::accept();
}

void TfrmScanParam::bbHelpClick() { ShowHelpContext(this, 110); }
