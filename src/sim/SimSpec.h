#pragma once
// Description of a simulated machine: its PCI functions, the IDE channels of
// its storage controllers and the drives on them.  Built in code or read from
// a JSON file (see SimSpecJson.cpp for the format).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Speed zone: up to `endFraction` of the capacity a 256-sector block takes
// `msPerBlock` to read.
struct Zone {
    double endFraction = 1.0;
    double msPerBlock = 1.0;
};

// Sectors [first, first + count) take `extraMs` longer per command.
struct SlowRange {
    uint64_t first = 0;
    uint64_t count = 0;
    double extraMs = 0;
};

// Sectors [first, first + count) fail with `error` in the error register after
// `ms` of trying.  An error byte of 0 still ends the command with ERR.
struct FailRange {
    uint64_t first = 0;
    uint64_t count = 0;
    uint8_t error = 0x40;
    double ms = 50;
};

struct SmartAttributeSpec {
    uint8_t id = 0;
    uint16_t flags = 0x0033;
    uint8_t value = 100;
    uint8_t worst = 100;
    int threshold = 0;  // -1: no threshold entry for this attribute
    uint64_t raw = 0;
};

enum class SmartMode { Off, On, Unsupported };

struct SecuritySpec {
    bool supported = true;
    bool enhancedErase = true;
    std::string userPassword;    // empty: no password set
    bool levelMax = false;
    std::string masterPassword;  // factory master password
    bool frozen = false;
};

struct DriveSpec {
    std::string model;
    std::string serial;
    std::string firmware;
    uint64_t sectors = 0;         // native capacity
    uint64_t hpaSectors = 0;      // current capacity when a host protected area is set; 0 = none
    bool lba48 = true;
    bool hpaSupported = true;
    int ataMajor = 7;             // highest ATA/ATAPI version reported
    uint16_t udma = 0x203F;       // identify word 88
    uint16_t eraseWord = 30;      // identify word 89
    uint16_t enhancedEraseWord = 35;  // identify word 90
    double eraseScale = 1.0;      // the erase takes word 89/90 time × this
    bool aamSupported = true;
    uint8_t aamValue = 254;
    bool apmSupported = true;
    SmartMode smart = SmartMode::On;
    SecuritySpec security;
    std::vector<SmartAttributeSpec> attributes;  // empty: a standard set
    double temperature = 36;      // degrees C; attribute 194 moves around it

    // Timing model.  timeScale multiplies every modelled duration (0 =
    // everything completes at once).
    double timeScale = 1.0;
    std::vector<Zone> zones;      // empty: one zone of 1 ms per block
    double trackToTrackMs = 1.0;
    double fullStrokeMs = 18.0;
    double rpm = 7200;
    double identifyMs = 2.0;
    std::vector<SlowRange> slow;
    std::vector<FailRange> failing;
    std::vector<uint64_t> softBad;  // pseudo-bad sectors present from the start

    // Protocol behaviour.  After a command and after each PIO block the drive
    // goes on showing its old status (and takes no data) for this long, in
    // time on the bus: an access counts as kBusCycleNs (SimDrive.h).
    double statusLatencyNs = 0;
    uint16_t eccBytes = 4;         // ECC bytes WRITE LONG takes after the 512 data bytes
    int eccBytesReported = -1;     // identify word 22; -1: eccBytes
};

struct ChannelSpec {
    std::optional<DriveSpec> master;
    std::optional<DriveSpec> slave;
    // What every register reads when no device drives the bus: 0xFF, or 0x7F
    // where the controller pulls D7 down.
    uint8_t floatingBus = 0xFF;
};

// One PCI function.  Storage controllers (class 01) carry channels; their
// ports follow the controller's programming interface and BARs the way the
// hardware decodes them.
struct PciFunctionSpec {
    uint8_t bus = 0;
    uint8_t device = 0;
    uint8_t function = 0;
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    uint8_t classCode = 0;
    uint8_t subclass = 0;
    uint8_t progIf = 0;
    uint8_t revision = 1;
    bool multiFunction = false;  // header type bit 7 (set on function 0)
    std::array<uint32_t, 6> bars{};
    std::array<ChannelSpec, 2> channels;  // primary, secondary
};

// How the kernel reports an ATA error in sense data: fixed format in the
// layout of kernels before 6.10 or of 6.10 and later, or descriptor format
// (D_SENSE set; a MODE SELECT of the control mode page changes it).
enum class SenseLayout { Fixed, Fixed610, Descriptor };

// What carries the drive: a SATA port of a kernel ATA driver, or a USB bridge
// that passes ATA commands through, or one that refuses them.
enum class PassThroughBus { Sata, Usb, UsbWithoutAta };

// A drive that the kernel owns, reached with ATA PASS-THROUGH (SG_IO) under
// the name of its device node.
struct PassThroughSpec {
    std::string name;  // "/dev/sda", or any name the machine file gives
    SenseLayout sense = SenseLayout::Fixed;
    PassThroughBus bus = PassThroughBus::Sata;
    DriveSpec drive;
};

struct MachineSpec {
    std::vector<PciFunctionSpec> functions;
    std::vector<PassThroughSpec> passThrough;
};

// The machine that needs no file.
MachineSpec DefaultMachineSpec();

// A machine with one Intel chipset IDE controller in compatibility mode
// (01F0/03F6, 0170/0376) and the given drives on its primary channel.
MachineSpec OneControllerMachine(std::optional<DriveSpec> master, std::optional<DriveSpec> slave = std::nullopt);

// Reads a machine description (a file of at most 4 MB); on failure returns
// nullopt and the reason, which names the key and the value at fault.
// `warnings` receives what is valid but will not work as the file may mean
// (a function the PCI scan cannot find, drives on a channel without ports).
std::optional<MachineSpec> LoadMachineSpec(const std::string& fileName, std::string* error,
                                           std::vector<std::string>* warnings = nullptr);
std::optional<MachineSpec> ParseMachineSpec(const std::string& json, std::string* error,
                                            std::vector<std::string>* warnings = nullptr);

}  // namespace sim
