#include "app/DriveList.h"

#include <algorithm>

#include "app/ConnectRules.h"
#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "hw/Ata.h"
#include "hw/AtaPort.h"
#include "hw/PortIo.h"
#include "select/DriveRows.h"
#include "select/KernelDriver.h"
#include "select/PciScan.h"
#include "select/SelectPort.h"

namespace {

// The --channel text of a scanned channel: the legacy channels by their base
// alone, the others as BASE:CONTROL.
QString ChannelAddress(const ChannelRow& row)
{
    if ((row.basePort == QLatin1String("01F0") && row.controlPort == QLatin1String("03F6")) ||
        (row.basePort == QLatin1String("0170") && row.controlPort == QLatin1String("0376")))
        return row.basePort;
    return row.basePort + QLatin1Char(':') + row.controlPort;
}

// The devices of one channel, identified through its ports.  A device that
// is not there has no line.
void ListChannel(const ChannelRow& row, uint16_t timeOut, std::vector<ListedDrive>& out)
{
    ChannelPorts ports;
    if (!ChannelPortsFromTexts(row.basePort, row.controlPort, ports, nullptr))
        return;  // a channel without ports reaches no drive
    const QString address = ChannelAddress(row);
    if (KernelDriverCheck()) {
        if (const auto owner = KernelDriverOfChannel({row}, ports.base)) {
            out.push_back({address, QString(),
                           QStringLiteral("не опрашивался: контроллер занят драйвером ядра %1").arg(owner->driver),
                           row.name});
            return;
        }
    }
    // Never in the middle of another copy's command.
    const QString key = PortLockKey(row.basePort);
    const bool ours = Ctx().PortMutex && Ctx().PortMutex->PortText() == key;
    const std::unique_ptr<PortLock> lock = ours ? nullptr : PortLock::TryAcquire(key);
    if (!ours && !lock) {
        out.push_back({address, QString(), QStringLiteral("не опрашивался: канал занят другой копией программы"), row.name});
        return;
    }
    for (uint8_t device = 0; device < 2; ++device) {
        const auto transport = std::make_shared<ata::PortTransport>(ports.base, ports.alt, device);
        transport->Select();
        ata::Connect(transport, timeOut, CounterFrequency(), nullptr);
        ata::IdentifyBlock block{};
        const bool ok = IdentifyDevice(block.Bytes()) & 0xFF;
        const ata::Result r = ata::LastResult();
        const QString unit = device ? QStringLiteral("Slave") : QStringLiteral("Master");
        if (ok)
            out.push_back({address, unit, TrimIdentifyText(block.Bytes() + 54, 40), row.name});
        else if (r.outcome != ata::Outcome::NoDevice)
            out.push_back({address, unit, QStringLiteral("ошибка идентификации: ") + DescribeResult(r), row.name});
    }
    ata::Connect(nullptr, timeOut, 0, nullptr);
}

}  // namespace

QStringList DriveListLines(const std::vector<ListedDrive>& drives)
{
    int a = 0, u = 0, m = 0;
    for (const ListedDrive& d : drives) {
        a = std::max(a, int(d.address.size()));
        u = std::max(u, int(d.unit.size()));
        m = std::max(m, int(d.model.size()));
    }
    QStringList lines;
    for (const ListedDrive& d : drives) {
        QString line = d.address.leftJustified(a) + QStringLiteral("  ") + d.unit.leftJustified(u) + QStringLiteral("  ") +
                       d.model.leftJustified(m) + QStringLiteral("  ") + d.where;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines << line;
    }
    return lines;
}

int RunDriveList(const ConsoleStreams& io, const QString& portRefusal)
{
    DriveContext& ctx = Ctx();
    ctx.ExeDir = io.exeDir.isEmpty() ? ExecutableDir() : io.exeDir;
    const IniFile ini(ctx.ExeDir + QStringLiteral("Voran.ini"));
    const uint16_t timeOut = ReadStartupTimeouts(&ini).timeOut;

    std::vector<ListedDrive> drives;
    if (!portRefusal.isEmpty() || !HavePortBackend()) {
        WriteStandardText(io.err, QStringLiteral("voran: %1\nvoran: каналы IDE не опрашивались; ниже только диски, "
                                                 "которыми управляет ядро.\n")
                                      .arg(portRefusal.isEmpty() ? QStringLiteral("нет доступа к портам ввода-вывода")
                                                                 : portRefusal));
    } else {
        for (const ChannelRow& row : ScanPci())
            ListChannel(row, timeOut, drives);
    }
    for (const DriveRow& d : DriveRows()) {
        QString where = d.port;
        if (!d.driver.isEmpty())
            where += (where.isEmpty() ? QString() : QStringLiteral(" ")) + QStringLiteral("(") + d.driver + QLatin1Char(')');
        drives.push_back({d.path, d.kind, d.model, where});
    }
    if (drives.empty())
        WriteStandardText(io.err, QStringLiteral("voran: дисков не найдено\n"));
    QString why;
    if (!WriteStandardText(io.out, DriveListLines(drives).join(QLatin1Char('\n')) + (drives.empty() ? "" : "\n"), &why)) {
        WriteStandardText(io.err, QStringLiteral("voran: не удалось вывести список: %1\n").arg(why));
        return kExitOutput;
    }
    return kExitOk;
}
