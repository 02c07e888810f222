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

GUEST_CHECK(security, commands_refused_with_abrt)
{
    const uint8_t commands[] = {ata::kCmdSecSetPassword, ata::kCmdSecUnlock, ata::kCmdSecErasePrepare,
                                ata::kCmdSecEraseUnit, ata::kCmdSecDisablePassword};
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        ata::IdentifyBlock b{};
        if (Identify(c, d, b))
            c.ExpectEq(uint16_t(b.Word(128) & 0x0001), uint16_t(0), d.id + ": word 128 reports no security");
        for (uint8_t cmd : commands) {
            const std::string what = d.id + ": command " + Check::Hex(cmd);
            c.ExpectEq(SecurityAction("voran", 0, 0, cmd) & 0xFF, 0, what + " accepted");
            const ata::Result r = ata::LastResult();
            c.Expect(r.outcome == ata::Outcome::DeviceError && r.error == ata::kErAbrt,
                     what + ": not refused with ABRT (" + LastOutcome() + ")");
            c.Expect((ERR() & 0xFF) != 0, what + ": ERR() does not report the refusal");
        }
        ExpectChannelWorks(c, d, "the refused security commands");
    }
}

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
