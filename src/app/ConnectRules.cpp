#include "app/ConnectRules.h"

#include "info/IdentifyReport.h"

#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/IniFile.h"
#include "common/Version.h"

const char* const kSimulatedMarker = "  [СИМУЛЯТОР]";

QString VersionTitle()
{
    const std::optional<VersionRecord> v = LookupVersion();
    if (!v)
        return QStringLiteral("Voran 2.0");
    if (!v->productName.isEmpty())
        Ctx().ProductName = v->productName;
    if (!v->fileVersion.isEmpty())
        Ctx().FileVersion = v->fileVersion;
    return Ctx().ProductName + QStringLiteral("  ") + Ctx().FileVersion;
}

namespace {
bool ReadPortCell(const QString& text, uint32_t& value, QString* error)
{
    if (text.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("Адрес порта не задан: выбранная строка пуста.");
        return false;
    }
    if (!ParseHexText(text, value) || value > 0xFFFF) {
        if (error)
            *error = QStringLiteral("«%1» не является адресом порта (шестнадцатеричное число от 0000 до FFFF).")
                         .arg(text.trimmed());
        return false;
    }
    return true;
}
}  // namespace

bool ChannelPortsFromTexts(const QString& baseText, const QString& controlText, ChannelPorts& out,
                           QString* error)
{
    uint32_t base = 0, control = 0;
    if (!ReadPortCell(baseText, base, error) || !ReadPortCell(controlText, control, error))
        return false;
    if (base == 0) {
        if (error)
            *error = QStringLiteral("У канала нет портов ввода-вывода (адрес 0000): с ним нельзя работать.");
        return false;
    }
    if (base > 0xFFF8) {
        if (error)
            *error = QStringLiteral("Регистры канала с адресом %1 не помещаются в пространство портов.")
                         .arg(HexText(base, 4));
        return false;
    }
    const uint32_t alt = (base == 0x1F0 || base == 0x170) ? control : control + 2;
    if (alt > 0xFFFF) {
        if (error)
            *error = QStringLiteral("Регистр управления %1 + 2 выходит за пределы пространства портов.")
                         .arg(HexText(control, 4));
        return false;
    }
    out.base = uint16_t(base);
    out.alt = uint16_t(alt);
    return true;
}

ConnectIdentity DecodeConnectIdentify(const ata::IdentifyBlock& block, const QString& previousLbaMode)
{
    ConnectIdentity id;
    id.model = TrimIdentifyText(block.Bytes() + 2 * ata::kModelField.firstWord, 2 * ata::kModelField.words);
    const uint16_t w83 = block.Word(83);
    if (ata::IdentifyBlock::Valid(w83))
        id.lbaMode = (w83 & 0x0400) ? QStringLiteral("LBA48") : QStringLiteral("LBA28");
    else
        id.lbaMode = previousLbaMode;
    id.security = info::PasswordLevel(block.Word(128));
    return id;
}

StartupTimeouts ReadStartupTimeouts(const IniFile* ini)
{
    StartupTimeouts t;
    if (!ini)
        return t;
    auto read = [&](const char* key, uint16_t def) -> uint16_t {
        const int v = ini->ReadInteger(QStringLiteral("TimeOut"), QString::fromLatin1(key), def);
        return (v >= 1 && v <= 0xFFFF) ? uint16_t(v) : def;
    };
    t.timeOut = read("TimeOut", t.timeOut);
    t.monitorPeriod = read("MonitorPeriod", t.monitorPeriod);
    return t;
}
