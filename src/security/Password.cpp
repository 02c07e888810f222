#include "security/Password.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "common/Fonts.h"
#include "common/LongRun.h"
#include "common/Services.h"
#include "security/SecurityDrive.h"
#include "security/SecurityRules.h"
#include "select/RadioGroup.h"

namespace {

constexpr int kHelpContext = 30;
constexpr int kShortHeight = 173;
constexpr int kTitleBarExtras = 140;

// Refuses characters the password cannot be sent with: the drive must get
// exactly what was typed.
class PasswordValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return security::PasswordCharactersValid(input) ? Acceptable : Invalid;
    }
};


}  // namespace

TfrmPassword::TfrmPassword(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("Пароль"));

    gbPwd = new QGroupBox(QStringLiteral(" Введите пароль "), this);
    gbPwd->setObjectName(QStringLiteral("gbPwd"));
    ePwd = new QLineEdit(gbPwd);
    ePwd->setObjectName(QStringLiteral("ePwd"));
    ePwd->setFont(FixedPitchFont());
    ePwd->setMaxLength(security::kMaxPasswordLength);
    ePwd->setValidator(new PasswordValidator(ePwd));
    const QString widest(security::kMaxPasswordLength + 1, QLatin1Char('W'));
    ePwd->setMinimumWidth(ePwd->fontMetrics().horizontalAdvance(widest));
    auto* pwdLayout = new QVBoxLayout(gbPwd);
    pwdLayout->addWidget(ePwd);

    rgbPwdType = new RadioGroup(QStringLiteral(" Тип пароля "),
                                {QStringLiteral("Пользовательский"), QStringLiteral("Мастер-пароль")}, 2, this);
    rgbPwdType->setObjectName(QStringLiteral("rgbPwdType"));
    rgbPwdType->SetItemIndex(0);
    rgbPwdLevel = new RadioGroup(QStringLiteral(" Уровень секретности "),
                                 {QStringLiteral("Высокий"), QStringLiteral("Максимальный")}, 2, this);
    rgbPwdLevel->setObjectName(QStringLiteral("rgbPwdLevel"));
    rgbPwdLevel->SetItemIndex(0);

    bbOK = MakeButton("bbOK", QStringLiteral("OK"), this);
    bbOK->setDefault(true);  // Enter, once there is something to send
    bbOK->setEnabled(false);
    bbCancel = MakeButton("bbCancel", QStringLiteral("Cancel"), this);
    bbHelp = MakeButton("bbHelp", QStringLiteral("Help"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbPwd);
    layout->addWidget(rgbPwdType);
    layout->addWidget(rgbPwdLevel);
    layout->addStretch(1);
    layout->addLayout(buttons);
    // Wide enough for each mode's caption in a title bar, beside its icon
    // and buttons.
    QFont title = font();
    title.setBold(true);
    const QFontMetrics titleMetrics(title);
    int captionWidth = 0;
    for (uint8_t mode : {security::kModeSet, security::kModeUnlock, security::kModeDisable})
        captionWidth = std::max(captionWidth, titleMetrics.horizontalAdvance(security::PasswordModeOf(mode)->caption));
    setFixedSize(std::max(sizeHint().width(), captionWidth + kTitleBarExtras), sizeHint().height());

    connect(ePwd, &QLineEdit::textChanged, this, &TfrmPassword::ePwdChange);
    connect(bbOK, &QPushButton::clicked, this, &TfrmPassword::bbOKClick);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmPassword::bbHelpClick);
}

void TfrmPassword::showEvent(QShowEvent* e)
{
    FormActivate();
    QDialog::showEvent(e);
}

void TfrmPassword::FormActivate()
{
    const auto mode = security::PasswordModeOf(PasswordMode);
    if (!mode)
        return;
    setWindowTitle(mode->caption);
    if (mode->levelShown)
        return;
    rgbPwdLevel->hide();
    layout()->invalidate();
    layout()->activate();
    setFixedSize(width(), std::max(kShortHeight, minimumSizeHint().height()));
}

void TfrmPassword::ePwdChange() { bbOK->setEnabled(security::PasswordAcceptable(ePwd->text())); }

void TfrmPassword::bbOKClick()
{
    if (!security::PasswordAcceptable(ePwd->text()))
        return;
    if (const auto mode = security::PasswordModeOf(PasswordMode)) {
        const bool accepted = security::Send(
            security::PasswordRequest(PasswordMode, ePwd->text(), rgbPwdType->ItemIndex(), rgbPwdLevel->ItemIndex()));
        if (accepted)
            ShowInfo(this, mode->success);
        else
            ShowError(this, mode->failure);
        // What the drive says now, not what was asked for.
        const std::optional<uint16_t> word128 = security::RefreshPasswordPanel();
        if (!accepted)
            security::ExplainRefusal(this, word128);
    } else {
        security::RefreshPasswordPanel();
    }
    ePwd->clear();  // the password is kept nowhere
    accept();
}

void TfrmPassword::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

void ShowPasswordDialog(QWidget* owner, uint8_t mode)
{
    const auto form = std::make_unique<TfrmPassword>(owner);
    form->PasswordMode = mode;
    form->exec();
}
