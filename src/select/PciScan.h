#pragma once
// Walks PCI configuration space through ports 0xCF8/0xCFC and lists the
// channels of every mass-storage controller it finds.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct PciAddress {
    uint8_t bus = 0;
    uint8_t device = 0;
    uint8_t function = 0;
    // "0000:BB:DD.F" as the kernel names the function (lower-case hex).
    QString Text() const;
    bool operator==(const PciAddress&) const = default;
};

// One row of the selection grid: channel name, command block base and
// control block base, both as upper-case hexadecimal text.
struct ChannelRow {
    QString name;
    QString basePort;
    QString controlPort;
    std::optional<PciAddress> pci;  // the controller function it came from
};

// The configuration space of the function being examined (offset 0 = vendor
// ID low byte).  UI thread only.
extern uint8_t PciConfig[256];

// One configuration byte: address write to 0xCF8, data read from 0xCFC,
// address clear, through the process's port backend.
uint8_t ReadPciConfigByte(uint8_t bus, uint8_t device, uint8_t function, uint8_t offset);

// BAR 0-5 of a configuration space: the I/O address with the two low bits
// cleared, or 0 for a BAR that is empty or not an I/O BAR.
std::array<uint32_t, 6> ReadIoBars(const uint8_t* config);

// The two channel rows of a mass-storage controller (base class 0x01);
// other classes add nothing.
void AddController(const uint8_t* config, const PciAddress& where, std::vector<ChannelRow>& rows);

// Every bus, device and function; nothing is cached between calls.
std::vector<ChannelRow> ScanPci();
