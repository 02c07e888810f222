// The security windows on QEMU's drives, which have no security feature set
// and refuse every security command with ABRT: the password dialog's and the
// security erase window's failure paths, and the channel usable afterwards.
#include <QLineEdit>
#include <QPushButton>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestQt.h"
#include "common/Services.h"
#include "security/Password.h"
#include "security/SecurityErase.h"
#include "security/SecurityRules.h"
#include "select/RadioGroup.h"

using namespace guest;

namespace {

// Identify answers again, with the drive's own model.
void ExpectChannelWorks(Check& c, const DriveInfo& d, const std::string& after)
{
    ata::IdentifyBlock b{};
    if (Identify(c, d, b))
        c.ExpectEq(IdentifyText(b, ata::kModelField), d.model, d.id + ": model after " + after);
}

std::string Joined(const MessageRecorder& m) { return m.Texts().join(QStringLiteral(" | ")).toStdString(); }

}  // namespace

GUEST_CHECK(security, password_dialog_tells_each_refusal)
{
    EnsureApplication();
    MessageRecorder messages;
    for (const DriveInfo& d : c.Drives()) {
        for (uint8_t mode : {security::kModeSet, security::kModeUnlock, security::kModeDisable}) {
            c.Connect(d);
            messages.Clear();
            TfrmPassword f;
            f.PasswordMode = mode;
            f.show();
            f.ePwd->setText(QStringLiteral("voran"));
            f.bbOK->click();
            const QString failure = security::PasswordModeOf(mode)->failure;
            c.ExpectEq(Joined(messages), failure.toStdString(), d.id + ": mode " + Check::Hex(mode));
            c.Expect(!f.isVisible(), d.id + ": the dialog stays open after its attempt");
            ExpectChannelWorks(c, d, "the password dialog");
        }
    }
}

GUEST_CHECK(security, erase_window_ends_on_the_refused_password)
{
    EnsureApplication();
    MessageRecorder messages;
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        messages.Clear();
        TfrmSecurityErase f;
        c.ExpectEq(Joined(messages), std::string(), d.id + ": messages at creation");
        c.Note(d.id + ": estimate " + f.mElapsedTime->text().toStdString() + ", enhanced choice " +
               (f.rgbEraseType->Button(1)->isEnabled() ? "enabled" : "disabled"));
        c.Expect(!f.rgbEraseType->Button(1)->isEnabled(), d.id + ": enhanced erase offered");
        f.bbStartClick();
        const std::string caption = "SECURIYU Erase: " + d.model;
        c.ExpectEq(f.windowTitle().toStdString(), caption + " - Ошибка", d.id + ": caption");
        c.ExpectEq(Joined(messages), security::kSetPasswordFailed.toString().toStdString(), d.id + ": messages");
        c.Expect(!f.Running() && !f.PasswordSet(), d.id + ": the window is not idle again");
        ExpectChannelWorks(c, d, "the security erase window");
    }
}
