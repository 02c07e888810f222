#include "security/SecurityDrive.h"

#include "common/Services.h"
#include "common/Shell.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"

namespace security {

bool Send(const SecurityRequest& request)
{
    // NUL-terminated; the ATA layer takes at most 32 bytes of it.
    QByteArray password = request.password;
    return Send(password.constData(), request.type, request.level, request.command);
}

bool Send(const char* password, uint8_t type, uint8_t level, uint8_t command)
{
    return (SecurityAction(password, type, level, command) & 0xFF) != 0;
}

std::optional<uint16_t> ReadWord128()
{
    ata::IdentifyBlock block{};
    if (!(IdentifyDevice(block.Bytes()) & 0xFF))
        return std::nullopt;
    return block.Word(128);
}

std::optional<uint16_t> RefreshPasswordPanel()
{
    const std::optional<uint16_t> word128 = ReadWord128();
    SetMainStatusPanel(4, PasswordPanel(word128));
    return word128;
}

void ExplainRefusal(QWidget* parent, std::optional<uint16_t> word128)
{
    if (!word128)
        return;
    for (const QString& note : RefusalNotes(*word128))
        ShowMessage(parent, MsgKind::Warning, note);
}

}  // namespace security
