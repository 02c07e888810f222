#include "common/RangeFields.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Int64SpinBox.h"
#include "common/Services.h"
#include "common/WindowPlace.h"

// ---- LbaRangeFields -----------------------------------------------------------------

LbaRangeFields::LbaRangeFields(const Texts& texts, QWidget* parent) : QGroupBox(texts.caption, parent)
{
    m_start = new Int64SpinBox(this);
    m_start->setObjectName(QString::fromLatin1(texts.startName));
    m_end = new Int64SpinBox(this);
    m_end->setObjectName(QString::fromLatin1(texts.endName));
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(texts.startLabel, this), m_start);
    form->addRow(new QLabel(texts.endLabel, this), m_end);
}

void LbaRangeFields::SetMaximum(int64_t maximum)
{
    m_start->setRange(0, maximum);
    m_end->setRange(0, maximum);
    m_end->setValue(maximum);
}

int64_t LbaRangeFields::Start() const { return m_start->value(); }
int64_t LbaRangeFields::End() const { return m_end->value(); }

bool LbaRangeFields::CheckOrder(QWidget* dialog, Order order) const
{
    const bool ok = order == Order::EndAboveStart ? End() > Start() : End() >= Start();
    if (!ok)
        ShowError(dialog, QStringLiteral("Конец диапазона не может быть меньше начала!"));
    return ok;
}

// ---- RangeParamDialog -----------------------------------------------------------------

RangeParamDialog::RangeParamDialog(const Frame& frame, QWidget* parent)
    : QDialog(parent), m_order(frame.order), m_helpContext(frame.helpContext)
{
    setObjectName(QString::fromLatin1(frame.objectName));
    setWindowTitle(frame.caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    m_range = new LbaRangeFields(frame.range, this);
    m_controls = new QVBoxLayout;

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbHelp = new QPushButton(frame.helpText, this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    connect(bbOk, &QPushButton::clicked, this, &RangeParamDialog::accept);
    connect(bbCancel, &QPushButton::clicked, this, &RangeParamDialog::reject);
    connect(bbHelp, &QPushButton::clicked, this, &RangeParamDialog::bbHelpClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto* top = new QVBoxLayout(this);
    top->addWidget(m_range);
    top->addLayout(m_controls);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
    PlaceCentred(this);  // on the screen
}

void RangeParamDialog::AddControl(QWidget* control) { m_controls->addWidget(control); }

bool RangeParamDialog::FormCloseQuery() { return m_range->CheckOrder(this, m_order); }

void RangeParamDialog::accept()
{
    if (FormCloseQuery())
        QDialog::accept();
}

void RangeParamDialog::bbHelpClick() { ShowHelpContext(this, m_helpContext); }
