#include "info/HPA.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "common/Format.h"
#include "common/Services.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "info/IdentifyReport.h"
#include "common/Int64SpinBox.h"

namespace hpa {

FieldValue CorrectedValue(int64_t typed, int64_t nativeMax)
{
    if (typed < 0)
        return {0, true};
    if (typed > nativeMax)
        return {nativeMax, true};
    return {typed, false};
}

QString Caption(const QString& model, int64_t value)
{
    return QStringLiteral("HPA - ") + model + QStringLiteral(" - ") +
           FormatThousands(int64_t(info::CapacityMegabytes(uint64_t(std::max<int64_t>(value, 0))))) +
           QStringLiteral(" MB");
}

}  // namespace hpa

namespace {
constexpr int kHelpContext = 40;
}

TfrmHPA::TfrmHPA(QWidget* owner, IdentifyFn identify) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmHPA"));
    setWindowTitle(QStringLiteral("HPA"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // What the drive says, not editable.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Label1 = new QLabel(QStringLiteral("Максимальное количество секторов"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    eMaxLBA = new QLineEdit(Panel1);
    eMaxLBA->setObjectName(QStringLiteral("eMaxLBA"));
    auto* panelLayout = new QFormLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addRow(Label1, eMaxLBA);
    Panel1->setEnabled(false);

    Label2 = new QLabel(QStringLiteral("Ограничить количество секторов до"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    speNewMaxLBA = new Int64SpinBox(this);
    speNewMaxLBA->setObjectName(QStringLiteral("speNewMaxLBA"));
    speNewMaxLBA->setRange(0, 0);
    auto* fieldLayout = new QFormLayout;
    fieldLayout->addRow(Label2, speNewMaxLBA);

    bbOK = new QPushButton(QStringLiteral("OK"), this);
    bbOK->setObjectName(QStringLiteral("bbOK"));
    bbOK->setDefault(true);
    bbOK->setEnabled(false);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbHelp = new QPushButton(QStringLiteral("Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    bbHelp->setAutoDefault(false);
    connect(bbOK, &QPushButton::clicked, this, &TfrmHPA::bbOKClick);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmHPA::bbHelpClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto* top = new QVBoxLayout(this);
    top->addWidget(Panel1);
    top->addLayout(fieldLayout);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate(identify ? identify : IdentifyFn(&::IdentifyDevice));
}

void TfrmHPA::FormCreate(const IdentifyFn& identify)
{
    Lba48 = 0;
    ata::IdentifyBlock id{};
    ShowAllowed = uint8_t(identify(id.Bytes()) & 0xFF);
    if (!ShowAllowed) {
        ShowError(parentWidget(), info::kIdentifyFailed.toString());
        return;
    }
    m_model = TrimIdentifyText(id.Bytes() + 54, 40);
    ShowAllowed = info::ReportsHpa(id) ? 1 : 0;
    if (!ShowAllowed) {
        ShowError(parentWidget(), QStringLiteral("Устройство не поддерживает HPA!"));
        return;
    }
    Lba48 = id.Lba48() ? 1 : 0;
    if (!(GetMaxHPA(&NativeMaxAddress, Lba48) & 0xFF)) {
        ShowError(parentWidget(), QStringLiteral("Ошибка получения масимально возможного количества секторов!"));
        ShowAllowed = 0;
        return;
    }
    eMaxLBA->setText(QString::number(NativeMaxAddress));
    // The field holds 64-bit addresses: every drive gets its whole range.
    speNewMaxLBA->setRange(0, NativeMaxAddress);
    connect(speNewMaxLBA, &Int64SpinBox::textChanged, this, &TfrmHPA::speNewMaxLBAChange);
    speNewMaxLBA->setValue(NativeMaxAddress);
    speNewMaxLBAChange();
}

void TfrmHPA::speNewMaxLBAChange()
{
    // The text as typed, before the field holds it within its limits.
    bool number = false;
    const qlonglong typed = speNewMaxLBA->text().trimmed().toLongLong(&number);
    if (!number) {
        // Nothing to send yet ("", "-", digits beyond 64 bits).
        bbOK->setEnabled(false);
        return;
    }
    const hpa::FieldValue v = hpa::CorrectedValue(typed, NativeMaxAddress);
    if (v.beep) {
        Beep();
        speNewMaxLBA->setValue(v.value);  // runs this handler again
        return;
    }
    setWindowTitle(hpa::Caption(m_model, v.value));
    bbOK->setEnabled(hpa::OkEnabled(v.value, NativeMaxAddress));
}

void TfrmHPA::bbOKClick()
{
    if (SetMaxHPA(speNewMaxLBA->value(), Lba48) & 0xFF)
        ShowInfo(this, QStringLiteral("Выключите и снова включите питание накопителя!"));
    else
        ShowError(this, QStringLiteral("Ошибка установки масимально возможного количества секторов!"));
    accept();
}

void TfrmHPA::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

void ShowHpa(QWidget* owner)
{
    const auto form = std::make_unique<TfrmHPA>(owner);
    if (form->ShowAllowed)
        form->exec();
}
