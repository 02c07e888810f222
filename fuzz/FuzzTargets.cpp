#include "FuzzTargets.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

#include "common/IniFile.h"
#include "sim/SimMachine.h"
#include "sim/SimSpec.h"
#include "sim/SimState.h"

namespace fuzz {

bool MachineFile(const uint8_t* data, size_t size)
{
    std::string error;
    std::vector<std::string> warnings;
    const auto spec = sim::ParseMachineSpec(std::string(reinterpret_cast<const char*>(data), size), &error, &warnings);
    if (!spec)
        return !error.empty();  // a refusal always says why
    sim::Machine machine(*spec);
    return error.empty();
}

bool StateFile(const uint8_t* data, size_t size)
{
    static sim::Machine machine(sim::DefaultMachineSpec());
    std::string error;
    const auto states = sim::ParseMachineState(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                               [](uint16_t base, int device) { return machine.DriveAt(base, device); },
                                               &error);
    if (!states)
        return !error.empty();
    for (const auto& [drive, state] : *states)
        if (state.maxAddress > drive->NativeMaxAddress())
            return false;
    return true;
}

bool IniFile(const uint8_t* data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    QString value;
    for (const char* key : {"TimeOut", "LastPort", "SavePort"}) {
        if (::IniFile::LookupIn(content, QStringLiteral("Port"), QLatin1String(key), value)) {
            int n = 0;
            ::IniFile::ParseInteger(value, n);
        }
    }
    const QByteArray written = ::IniFile::WithValue(content, QStringLiteral("Port"), QStringLiteral("LastPort"),
                                                    QStringLiteral("01F0"));
    return ::IniFile::LookupIn(written, QStringLiteral("Port"), QStringLiteral("LastPort"), value) &&
           value == QLatin1String("01F0");
}

}  // namespace fuzz
