#pragma once
// The simulated machine as the port layer sees it: PCI configuration space
// behind 0xCF8/0xCFC and the IDE channels of its storage controllers.
// Thread-safe: every port access takes the machine's lock.
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hw/PassThrough.h"
#include "hw/PortIo.h"
#include "sim/SimDrive.h"
#include "sim/SimPassThrough.h"
#include "sim/SimSpec.h"

namespace sim {

class Channel {
public:
    Channel(uint16_t base, uint16_t control, std::unique_ptr<Drive> master, std::unique_ptr<Drive> slave,
            uint8_t floatingBus = 0xFF);

    uint16_t Base() const { return m_base; }
    uint16_t AltPort() const { return m_alt; }
    Drive* DriveAt(int device) { return m_drive[device & 1].get(); }
    int Selected() const { return m_selected; }

    uint8_t Read8(uint16_t offset);      // command block offsets 0-7
    uint16_t Read16(uint16_t offset);
    void Write8(uint16_t offset, uint8_t v);
    void Write16(uint16_t offset, uint16_t v);
    void ReadData(uint16_t* words, size_t count);  // the data register, repeatedly
    void WriteData(const uint16_t* words, size_t count);
    uint8_t ReadAlt();
    void WriteControl(uint8_t v);

    // For tests: the device control register as last written, the device
    // register writes refused because the selected device showed BSY or
    // DRQ, and what an undriven bus reads.
    uint8_t Control() const { return m_control; }
    uint64_t SelectsWhileBusy() const { return m_selectsWhileBusy; }
    void SetFloatingBus(uint8_t value) { m_floating = value; }

private:
    Drive* Present(int device);  // null when there is none or it is absent
    uint8_t ReadStatus(bool acknowledge);

    uint16_t m_base;
    uint16_t m_alt;
    std::unique_ptr<Drive> m_drive[2];
    int m_selected = 0;
    uint8_t m_control = 0;
    uint8_t m_floating = 0xFF;
    uint64_t m_cycles = 0;  // register accesses: the drives' bus clock
    uint64_t m_selectsWhileBusy = 0;
};

// Its pass-through drives (the kernel's SATA drives of a real machine) answer
// SG_IO through the machine as their host.
class Machine : public PortBackend, public ata::PassThroughHost, public std::enable_shared_from_this<Machine> {
public:
    explicit Machine(const MachineSpec& spec);
    ~Machine() override;

    uint8_t In8(uint16_t port) override;
    uint16_t In16(uint16_t port) override;
    uint32_t In32(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Out16(uint16_t port, uint16_t value) override;
    void Out32(uint16_t port, uint32_t value) override;
    void In16Block(uint16_t port, uint16_t* words, size_t count) override;
    void Out16Block(uint16_t port, const uint16_t* words, size_t count) override;
    const char* Kind() const override { return "simulated"; }

    // Drives by the command block base of their channel; null when none.
    Drive* DriveAt(uint16_t basePort, int device);
    Channel* ChannelAt(uint16_t basePort);
    const std::vector<std::unique_ptr<Channel>>& Channels() const { return m_channels; }
    // The lock every port access takes; tests that change a drive while
    // other threads use the ports hold it.
    std::mutex& Lock() { return m_mutex; }
    // Power off and on every drive.
    void PowerCycle();

    // The pass-through drives, by the name the machine gives them.
    PassThroughDrive* PassThroughAt(const std::string& name);
    const std::vector<std::unique_ptr<PassThroughDrive>>& PassThroughDrives() const { return m_passThrough; }
    // ata::PassThroughHost.  A node keeps the machine alive.
    std::shared_ptr<ata::SgNode> Open(const std::string& path, std::string* why, int* error = nullptr) override;
    std::vector<std::string> Drives() const override;
    std::string DriveName(const std::string& path) const override { return path; }
    bool Simulated() const override { return true; }

    // Keeps what the user changes on the drives (passwords, security state,
    // host protected area, SMART state, soft-bad sectors) in `stateFile`:
    // loads it now if it exists and rewrites it after every change (see
    // SimState.h).  A file that cannot be read or holds anything but a valid
    // state is refused (false, with the reason).  A file that cannot be
    // written is said once, in `warning`; the machine runs without it.
    bool AttachStateFile(const std::string& stateFile, std::string* error, std::string* warning = nullptr);
    std::string StateFile() const { return m_stateFile; }

    // Counters for the port-access tests.
    uint64_t PortAccessCount() const { return m_accesses; }

private:
    struct PciFunction {
        uint8_t bus, device, function;
        std::array<uint8_t, 256> config{};
    };
    struct Route {
        Channel* channel = nullptr;
        int16_t offset = -1;  // 0-7 command block, 8 = alternate status / control
    };

    uint32_t PciRead32(uint32_t address) const;
    // Writes the state file; false with the reason when it could not.
    bool SaveStateLocked(std::string* error = nullptr);

    mutable std::mutex m_mutex;
    std::vector<PciFunction> m_pci;
    std::vector<std::unique_ptr<Channel>> m_channels;
    std::vector<Route> m_routes;  // 65536 entries
    std::vector<std::unique_ptr<PassThroughDrive>> m_passThrough;
    uint32_t m_cf8 = 0;
    std::string m_stateFile;
    bool m_loadingState = false;
    bool m_saveFailing = false;  // the last save failed and was said
    uint64_t m_accesses = 0;
};

// Builds and installs a machine as the process's port backend and as its
// pass-through host; returns it for inspection.
std::shared_ptr<Machine> InstallMachine(const MachineSpec& spec);

// Ports of the two channels of a storage controller function, as its
// programming interface and BARs place them: {base, alternate status port}.
// A channel without usable ports gives {0, 0}.
std::array<std::pair<uint16_t, uint16_t>, 2> ChannelPorts(const PciFunctionSpec& f);

}  // namespace sim
