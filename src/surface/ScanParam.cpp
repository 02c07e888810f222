#include "surface/ScanParam.h"

#include "common/Services.h"
#include "common/WindowPlace.h"
#include "common/Int64SpinBox.h"
#include "common/RangeFields.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TfrmScanParam::TfrmScanParam(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmScanParam"));
    setWindowTitle(QStringLiteral("Параметры проверки"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    m_range = new LbaRangeFields(QStringLiteral(" Границы участка "), QStringLiteral("Начальный LBA"), "speStartLBA",
                                 QStringLiteral("Конечный LBA"), "speStopLBA", this);
    speStartLBA = m_range->StartField();
    speStopLBA = m_range->EndField();

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
    top->addWidget(m_range);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(bbOk, &QPushButton::clicked, this, &TfrmScanParam::accept);
    connect(bbCancel, &QPushButton::clicked, this, &TfrmScanParam::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmScanParam::bbHelpClick);
    PlaceCentred(this);  // on the screen
}

void TfrmScanParam::Setup(int64_t endLimit, int64_t lastStart, int64_t lastStop)
{
    m_range->SetMaximum(endLimit);
    speStartLBA->setValue(lastStart);
    if (lastStop != 0 && lastStop <= endLimit)
        speStopLBA->setValue(lastStop);
}

int64_t TfrmScanParam::StartLBA() const { return m_range->Start(); }
int64_t TfrmScanParam::StopLBA() const { return m_range->End(); }

bool TfrmScanParam::FormCloseQuery()
{
    return m_range->CheckOrder(this, LbaRangeFields::Order::EndAboveStart);
}

void TfrmScanParam::accept()
{
    if (FormCloseQuery())
        QDialog::accept();
}

void TfrmScanParam::bbHelpClick() { ShowHelpContext(this, 110); }
