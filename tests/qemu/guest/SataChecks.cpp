// The q35 run: the drives on QEMU's AHCI controller, owned by the kernel's
// ahci driver, reached by the ATA layer through ATA pass-through (SG_IO):
// identify, SMART, verify across 2^28 in both forms, the native maximum,
// refused commands with ABRT read back from the sense data in both sense
// layouts, and the command line's --device.
#include <map>
#include <set>
#include <string>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestProcess.h"
#include "hw/PassThrough.h"
#include "hw/SgioCdb.h"
#include "hw/SgioTransport.h"
#include "info/IdentifyReport.h"

using namespace guest;

namespace {

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

std::shared_ptr<ata::SgNode> Node(Check& c, const DriveInfo& d)
{
    std::string why;
    std::shared_ptr<ata::SgNode> node = ata::CurrentPassThroughHost()->Open(d.node, &why);
    c.Expect(node != nullptr, d.id + ": " + why);
    return node;
}

// The first sense byte of a SET MAX ADDRESS EXT sent straight to the node
// (0x70: fixed format, 0x72: descriptor format) and what it says.
std::pair<uint8_t, ata::Result> RawSetMax(ata::SgNode& node, const DriveInfo& d)
{
    const ata::Request rq = ata::Request::NonData(ata::Taskfile::Lba48(ata::kCmdSetMaxExt, d.Sectors() - 1, 1));
    const ata::SgExchange x = ata::SendCdb(node, ata::sgio::Ata16(rq, false));
    if (x.err)
        return {0, ata::Result{}};
    return {x.sense[0], ata::sgio::Interpret(x.reply(), rq)};
}

// The refused commands through the layer: ABRT, read back from the sense.
void ExpectRefusals(Check& c, const DriveInfo& d, const std::string& layout)
{
    c.Connect(d);
    const std::string at = d.id + " (" + layout + "): ";
    c.ExpectEq(SetMaxHPA(int64_t(d.Sectors() - 1), 1) & 0xFF, 0, at + "SET MAX ADDRESS EXT result");
    ata::Result r = ata::LastResult();
    c.ExpectEq(std::string(ata::OutcomeName(r.outcome)), std::string("device error"), at + "SET MAX outcome");
    c.ExpectEq(r.error, ata::kErAbrt, at + "SET MAX error register");
    c.Expect(r.status & ata::kStErr, at + "SET MAX status " + Check::Hex(r.status));
    c.ExpectEq(ata::SampleRegister(ata::Register::Error), ata::kErAbrt, at + "the lamps' error register");
    c.ExpectEq(ERR(), 1, at + "ERR()");

    c.ExpectEq(SecurityAction("voran", 0, 0, ata::kCmdSecSetPassword) & 0xFF, 0, at + "SECURITY SET PASSWORD result");
    r = ata::LastResult();
    c.ExpectEq(r.error, ata::kErAbrt, at + "SECURITY SET PASSWORD error register");
    c.Note(at + "refused: status " + Check::Hex(r.status) + ", error " + Check::Hex(r.error));

    ata::IdentifyBlock b{};
    c.Expect((IdentifyDevice(b.Bytes()) & 0xFF) != 0, at + "identify after the refusals (" + LastOutcome() + ")");
    c.ExpectEq(ERR(), 0, at + "ERR() after a good command");
    c.ExpectEq(ata::SampleRegister(ata::Register::Status), uint8_t(0x50), at + "the lamps' status after it");
}

std::vector<std::string> Device(const DriveInfo& d, std::vector<std::string> rest)
{
    std::vector<std::string> argv = {"voran", "--device", d.node};
    argv.insert(argv.end(), rest.begin(), rest.end());
    return argv;
}

}  // namespace

GUEST_CHECK(sata_identify, model_serial_firmware_and_capacity)
{
    for (const DriveInfo& d : c.Drives()) {
        ata::IdentifyBlock b;
        if (!Identify(c, d, b))
            continue;
        ExpectIdentity(c, d, b);
        c.ExpectEq(b.Sectors48(), d.Sectors(), d.id + ": words 100-103");
        c.ExpectEq(uint64_t(b.Sectors28()), std::min<uint64_t>(d.Sectors(), 0x0FFFFFFF), d.id + ": words 60-61");
        c.ExpectEq(ata::CurrentConnection().path, d.node, d.id + ": the connection's device");
    }
}

GUEST_CHECK(sata_smart, attributes_thresholds_and_switching)
{
    // QEMU's seven attributes, id:threshold.
    const std::string thresholds = "1:6 3:0 4:20 5:36 9:0 12:0 190:50 ";
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        ata::SmartData data{};
        ata::SmartThresholds thr{};
        if (!c.Expect((GetSMARTAttributes(reinterpret_cast<uint8_t*>(&data)) & 0xFF) != 0,
                      d.id + ": GetSMARTAttributes (" + LastOutcome() + ")") ||
            !c.Expect((GetSMARTThresholds(reinterpret_cast<uint8_t*>(&thr)) & 0xFF) != 0,
                      d.id + ": GetSMARTThresholds (" + LastOutcome() + ")"))
            continue;
        std::map<int, int> seen;
        for (int i = 0; i < 30; ++i)
            if (data.attr[i].id) {
                c.ExpectEq(int(thr.entry[i].id), int(data.attr[i].id), d.id + ": threshold entry " + std::to_string(i));
                seen[data.attr[i].id] = thr.entry[i].threshold;
            }
        std::string list;
        for (const auto& [id, threshold] : seen)
            list += std::to_string(id) + ":" + std::to_string(threshold) + " ";
        c.ExpectEq(list, thresholds, d.id + ": attribute ids and their thresholds");

        if (!c.Expect((SetSMARTEnabled(0) & 0xFF) != 0, d.id + ": SMART DISABLE (" + LastOutcome() + ")"))
            continue;
        uint8_t buf[512];
        c.ExpectEq(GetSMARTAttributes(buf) & 0xFF, 0, d.id + ": attributes read while SMART is off");
        c.ExpectEq(ata::LastResult().error, ata::kErAbrt, d.id + ": error of the refused read");
        c.Expect((SetSMARTEnabled(1) & 0xFF) != 0, d.id + ": SMART ENABLE (" + LastOutcome() + ")");
        c.Expect((GetSMARTAttributes(buf) & 0xFF) != 0, d.id + ": attributes after ENABLE (" + LastOutcome() + ")");
    }
}

GUEST_CHECK(sata_verify, across_2_28_in_both_forms)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const uint64_t reach = Reach28(d);
        c.Expect(VerifySectors(int64_t(reach - 256), 256, 0) >= 0,
                 d.id + ": 28-bit verify of the last 256 sectors it reaches (" + LastOutcome() + ")");
        c.Expect(VerifySectors(0, 1, 0) >= 0, d.id + ": 28-bit verify of sector 0 (" + LastOutcome() + ")");
        if (d.Above28Bit()) {
            c.Expect(VerifySectors(int64_t(ata::kMaxLba28 - 128), 256, 1) >= 0,
                     d.id + ": 48-bit verify across 2^28 (" + LastOutcome() + ")");
            c.ExpectEq(VerifySectors(int64_t(ata::kMaxLba28 - 128), 256, 0),
                       ata::TimedFailureCode(ata::Outcome::InvalidArgument), d.id + ": 28-bit form refused across 2^28");
        }
        c.Expect(VerifySectors(int64_t(d.Sectors() - 256), 256, 1) >= 0,
                 d.id + ": 48-bit verify of the last 256 sectors (" + LastOutcome() + ")");
        c.Expect(SeekLBA(int64_t(reach - 1)) >= 0, d.id + ": seek (" + LastOutcome() + ")");
    }
}

GUEST_CHECK(sata_hpa, read_native_max_is_the_last_sector)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        int64_t max48 = -1, max28 = -1;
        if (c.Expect((GetMaxHPA(&max48, 1) & 0xFF) != 0, d.id + ": READ NATIVE MAX EXT (" + LastOutcome() + ")"))
            c.ExpectEq(max48, int64_t(d.Sectors() - 1), d.id + ": READ NATIVE MAX EXT");
        if (!d.Above28Bit() &&
            c.Expect((GetMaxHPA(&max28, 0) & 0xFF) != 0, d.id + ": READ NATIVE MAX (" + LastOutcome() + ")"))
            c.ExpectEq(max28, int64_t(d.Sectors() - 1), d.id + ": READ NATIVE MAX");
    }
}

GUEST_CHECK(sata_errors, refused_commands_in_both_sense_layouts)
{
    for (const DriveInfo& d : c.Drives()) {
        std::shared_ptr<ata::SgNode> node = Node(c, d);
        if (!node)
            continue;
        // The default: D_SENSE clear, fixed format on this kernel.
        const auto [fixed, fr] = RawSetMax(*node, d);
        c.Expect(fixed == 0x70 || fixed == 0xF0, d.id + ": default sense format " + Check::Hex(fixed));
        c.ExpectEq(fr.error, ata::kErAbrt, d.id + ": ABRT in the fixed-format sense");
        ExpectRefusals(c, d, "D_SENSE clear");

        std::string why;
        if (!c.Expect(ata::SetDescriptorSense(*node, true, &why), d.id + ": setting D_SENSE: " + why))
            continue;
        const auto [desc, dr] = RawSetMax(*node, d);
        c.ExpectEq(desc, uint8_t(0x72), d.id + ": sense format with D_SENSE set");
        c.ExpectEq(dr.error, ata::kErAbrt, d.id + ": ABRT in the descriptor");
        ExpectRefusals(c, d, "D_SENSE set");
        c.Expect(ata::SetDescriptorSense(*node, false, &why), d.id + ": clearing D_SENSE: " + why);
    }
}

GUEST_CHECK(sata_cli, device_identify_scan_and_smart)
{
    if (c.Simulated()) {
        c.Note("sata_cli: --device without --sim is real hardware; not run on the simulated mirror");
        return;
    }
    for (const DriveInfo& d : c.Drives()) {
        ProcessResult r = RunProgram(Device(d, {"--identify"}));
        c.ExpectEq(r.exitCode, 0, d.id + ": exit status of --identify (" + r.output + ")");
        ExpectReportRows(c, d, r.output);

        const uint64_t start = d.Above28Bit() ? ata::kMaxLba28 - 51200 : 0;
        const uint64_t end = start + 102400;
        r = RunProgram(Device(d, {"--scan", std::to_string(start), std::to_string(end)}));
        c.ExpectEq(r.exitCode, 0, d.id + ": exit status of --scan (" + r.output + ")");
        c.Expect(Has(r.output, "Model: " + d.model + " FW: " + d.firmware + "\n"), d.id + ": report header");
        c.Expect(Has(r.output, "Последний проверенный LBA.." + std::to_string(end) + "\n"), d.id + ": last LBA");
        c.Expect(Has(r.output, "Ошибок.....................0\n"), d.id + ": no errors");

        r = RunProgram(Device(d, {"--smart"}));
        c.ExpectEq(r.exitCode, 0, d.id + ": exit status of --smart (" + r.output + ")");
        c.Expect(Has(r.output, "Reallocated Sector Count") && Has(r.output, "Attribute 190"),
                 d.id + ": the SMART table: " + r.output);
    }
}
