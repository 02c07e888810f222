#include "select/KernelDriver.h"

#include <QFileInfo>
#include <atomic>

#include "common/Format.h"
#include "hw/KernelDrives.h"

namespace {
std::atomic<bool> gCheck{false};
}  // namespace

// One root for every sysfs reader of the program (the drive discovery too).
void SetSysfsRoot(const QString& root)
{
    ata::SystemRoots r = ata::CurrentSystemRoots();
    r.sys = root.isEmpty() ? std::string("/sys") : root.toStdString();
    ata::SetSystemRoots(r);
}
QString SysfsRoot() { return QString::fromStdString(ata::CurrentSystemRoots().sys); }

QString PciKernelDriver(const PciAddress& address)
{
    const QFileInfo link(SysfsRoot() + QStringLiteral("/bus/pci/devices/") + address.Text() +
                         QStringLiteral("/driver"));
    if (!link.isSymLink())
        return {};
    return QFileInfo(link.symLinkTarget()).fileName();
}

std::optional<PciAddress> ChannelFunction(const std::vector<ChannelRow>& rows, uint32_t basePort)
{
    for (const ChannelRow& r : rows) {
        uint32_t v = 0;
        if (r.pci && ParseHexText(r.basePort, v) && v == basePort)
            return r.pci;
    }
    return std::nullopt;
}

std::optional<ChannelDriver> KernelDriverOfChannel(const std::vector<ChannelRow>& rows, uint32_t basePort)
{
    const std::optional<PciAddress> pci = ChannelFunction(rows, basePort);
    if (!pci)
        return std::nullopt;
    const QString driver = PciKernelDriver(*pci);
    if (driver.isEmpty())
        return std::nullopt;
    return ChannelDriver{*pci, driver};
}

QString KernelDriverQuestion(const ChannelDriver& owner, const QString& channelName)
{
    return QStringLiteral("Контроллер канала «%1» (PCI %2) используется ядром: к нему подключён драйвер «%3».\n\n"
                          "Команды в обход драйвера могут нарушить его работу, вызвать зависание системы "
                          "и повредить данные на дисках этого контроллера.\n\n"
                          "Всё равно работать с этим каналом?")
        .arg(channelName.trimmed(), owner.pci.Text(), owner.driver);
}

void SetKernelDriverCheck(bool enabled) { gCheck = enabled; }
bool KernelDriverCheck() { return gCheck.load(); }
