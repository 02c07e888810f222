#include "support/SimFixture.h"

#include "common/Clock.h"

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

}  // namespace testsim
