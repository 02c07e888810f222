#pragma once
// Names of the PCI storage controllers the selection dialog knows.
#include <QString>
#include <cstdint>

struct PciName {
    uint16_t id;
    const char* name;
};

extern const PciName PciVendorTable[16];
extern const PciName PciDeviceTable[100];

// "Unknown (XXXX)" unless the vendor is listed.
QString VendorName(uint16_t id);
// "PCI IDE Controller (XXXX)" unless the device ID is listed; the device ID
// is looked up alone, whatever the vendor.
QString DeviceName(uint16_t id);
// VendorName + " " + DeviceName + ", "
QString ControllerName(uint16_t vendor, uint16_t device);
