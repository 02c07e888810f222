#pragma once
// A small reader of PCI configuration space through ports 0xCF8/0xCFC, on
// whichever port backend is installed.  Used to see QEMU's chipset as the
// port code sees it, independently of the program's own scan.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace guest {

struct PciFunction {
    uint8_t bus = 0, device = 0, function = 0;
    uint16_t vendorId = 0xFFFF, deviceId = 0xFFFF;
    uint8_t classCode = 0, subclass = 0, progIf = 0, headerType = 0;
    std::array<uint32_t, 6> bars{};

    std::string Address() const;  // "00:01.1"
};

// One 32-bit configuration read: address to 0xCF8, data from 0xCFC, 0 back
// to 0xCF8.
uint32_t PciConfigRead32(uint8_t bus, uint8_t device, uint8_t function, uint8_t offset);

// Every present function of buses 0 to 255, functions 1 to 7 only behind a
// multi-function function 0.
std::vector<PciFunction> ScanPciFunctions();

// A row of the port selection list: channel name, command block base and
// control block base as four upper-case hexadecimal digits, and the PCI
// function it came from ("0000:00:01.1"; empty for none).
struct SelectionRow {
    std::string name;
    std::string base;
    std::string control;
    std::string function;
};

// The rows the program's port selection offers on this machine (its own
// PCI scan).
std::vector<SelectionRow> SelectionRows();

}  // namespace guest
