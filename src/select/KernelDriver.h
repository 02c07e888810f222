#pragma once
// Whether the kernel drives a channel's controller.  Working the ports of a
// channel behind the back of a bound kernel driver (ata_piix, pata_*, ahci)
// can confuse it and corrupt data, so with real ports the program asks first.
#include <QString>
#include <optional>
#include <vector>

#include "select/PciScan.h"

// Root of the sysfs tree ("/sys"); tests point it at a fake tree.
void SetSysfsRoot(const QString& root);
QString SysfsRoot();

// Name of the driver bound to the PCI function (the last part of the
// <root>/bus/pci/devices/0000:BB:DD.F/driver link); empty when none.
QString PciKernelDriver(const PciAddress& address);

// The controller function of the scanned channel whose command block base
// is `basePort`; none for a channel that no scanned function has.
std::optional<PciAddress> ChannelFunction(const std::vector<ChannelRow>& rows, uint32_t basePort);

struct ChannelDriver {
    PciAddress pci;
    QString driver;
};
// The kernel driver that owns the channel at `basePort`, if any.
std::optional<ChannelDriver> KernelDriverOfChannel(const std::vector<ChannelRow>& rows, uint32_t basePort);

// The question asked before such a channel is used.
QString KernelDriverQuestion(const ChannelDriver& owner, const QString& channelName);

// On with real ports (--hardware), off on the simulated machine.
void SetKernelDriverCheck(bool enabled);
bool KernelDriverCheck();
