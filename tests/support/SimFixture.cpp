#include "support/SimFixture.h"

#include "common/Clock.h"
#include "hw/PassThrough.h"
#include "hw/Transport.h"

#include <stdexcept>

namespace testsim {

sim::DriveSpec InstantDrive(const char* model, uint64_t sectors, bool lba48)
{
    sim::DriveSpec d;
    d.model = model;
    d.serial = "TST0001";
    d.firmware = "T1.0";
    d.sectors = sectors;
    d.lba48 = lba48;
    d.timeScale = 0;
    d.eraseScale = 0;
    d.security.masterPassword = "MASTER";
    return d;
}

sim::MachineSpec InstantDefaultMachine()
{
    sim::MachineSpec spec = sim::DefaultMachineSpec();
    for (auto& f : spec.functions)
        for (auto& c : f.channels)
            for (auto* d : {&c.master, &c.slave})
                if (*d)
                    (*d)->timeScale = 0;
    for (auto& p : spec.passThrough)
        p.drive.timeScale = 0;
    return spec;
}

sim::MachineSpec OneChannel(std::optional<sim::DriveSpec> master, std::optional<sim::DriveSpec> slave)
{
    return sim::OneControllerMachine(std::move(master), std::move(slave));
}

std::shared_ptr<sim::Machine> Install(const sim::MachineSpec& spec, uint8_t device, uint16_t timeOutSeconds,
                                      uint16_t base, uint16_t alt)
{
    auto m = sim::InstallMachine(spec);
    InitDLL(base, alt, device, timeOutSeconds, CounterFrequency(), nullptr);
    return m;
}

sim::PassThroughSpec PassThrough(const char* name, sim::DriveSpec drive, sim::SenseLayout sense)
{
    sim::PassThroughSpec p;
    p.name = name;
    p.drive = std::move(drive);
    p.sense = sense;
    return p;
}

std::shared_ptr<sim::Machine> InstallPassThrough(std::vector<sim::PassThroughSpec> drives, uint16_t timeOutSeconds,
                                                 sim::MachineSpec spec)
{
    spec.passThrough = std::move(drives);
    auto m = sim::InstallMachine(spec);
    std::string why;
    std::shared_ptr<ata::Transport> t = ata::OpenPassThrough(spec.passThrough.at(0).name, &why);
    if (!t)
        throw std::runtime_error(why);
    ata::Connect(t, timeOutSeconds, CounterFrequency(), nullptr);
    return m;
}

}  // namespace testsim
