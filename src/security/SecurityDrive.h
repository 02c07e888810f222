#pragma once
// What both security windows do with the drive around their commands: send
// a request, read the security status word again, show it in the main
// window's password panel, and explain a refusal the status word accounts
// for.
#include <cstdint>
#include <optional>

#include "security/SecurityRules.h"

class QWidget;

namespace security {

// SecurityAction with the request's values; true when the drive accepted it.
bool Send(const SecurityRequest& request);
bool Send(const char* password, uint8_t type, uint8_t level, uint8_t command);

// Identifies the drive: its word 128, or nullopt when identify failed.
std::optional<uint16_t> ReadWord128();

// Identifies the drive and writes the main window's password panel ("Max",
// "High", or empty, also when identify failed).  Returns word 128.
std::optional<uint16_t> RefreshPasswordPanel();

// After the message of a refused security command: the notes word 128
// gives (frozen, unlock counter used up), each in a warning box.
void ExplainRefusal(QWidget* parent, std::optional<uint16_t> word128);

}  // namespace security
