#include "ops/MakeBadParam.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Services.h"
#include "common/WindowPlace.h"
#include "select/RadioGroup.h"
#include "common/RangeFields.h"

TfrmMakeBadParam::TfrmMakeBadParam(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmMakeBadParam"));
    setWindowTitle(QStringLiteral("Создание Soft-Bad"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    gbAdres = new LbaRangeFields(QStringLiteral(" Границы диапазона "), QStringLiteral("Начало"), "speStartLBA",
                                 QStringLiteral("Конец"), "speStopLBA", this);
    gbAdres->setObjectName(QStringLiteral("gbAdres"));
    speStartLBA = gbAdres->StartField();
    speStopLBA = gbAdres->EndField();
    rgbKind = new RadioGroup(QStringLiteral("Выбор адресации "),
                             {QStringLiteral("Случайны выбор"), QStringLiteral("Непрерывно")}, 2, this);
    rgbKind->setObjectName(QStringLiteral("rgbKind"));

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbHelp = new QPushButton(QStringLiteral("&Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    bbHelp->setAutoDefault(false);
    connect(bbOk, &QPushButton::clicked, this, &TfrmMakeBadParam::accept);
    connect(bbCancel, &QPushButton::clicked, this, &TfrmMakeBadParam::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmMakeBadParam::bbHelpClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto* top = new QVBoxLayout(this);
    top->addWidget(gbAdres);
    top->addWidget(rgbKind);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
    PlaceCentred(this);
}

void TfrmMakeBadParam::Setup(int64_t lastLba) { gbAdres->SetMaximum(lastLba); }

int64_t TfrmMakeBadParam::StartLBA() const { return gbAdres->Start(); }
int64_t TfrmMakeBadParam::EndLBA() const { return gbAdres->End(); }
bool TfrmMakeBadParam::RandomMode() const { return rgbKind->ItemIndex() == 0; }

bool TfrmMakeBadParam::FormCloseQuery()
{
    return gbAdres->CheckOrder(this, LbaRangeFields::Order::EndNotBelowStart);
}

void TfrmMakeBadParam::accept()
{
    if (FormCloseQuery())
        QDialog::accept();
}

void TfrmMakeBadParam::bbHelpClick() { ShowHelpContext(this, 410); }
