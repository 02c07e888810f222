// The identify report the program shows, built from what QEMU's drives
// answer: the rows must carry exactly what QEMU was given.
#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "info/IdentifyReport.h"

using namespace guest;

namespace {

bool HasLine(const info::IdentifyReport& r, QStringView label, const QString& value)
{
    return r.lines.contains(label.toString() + value);
}

}  // namespace

GUEST_CHECK(info, identify_report_rows)
{
    for (const DriveInfo& d : c.Drives()) {
        c.Connect(d);
        const info::DriveIdentify id = info::IdentifyCurrentDrive();
        if (!c.Expect(id.ok(), d.id + ": identify for the report failed (" + LastOutcome() + ")"))
            continue;
        const info::IdentifyReport& r = id.report;
        const QString sectors = info::GroupedCount(d.Sectors());
        c.ExpectEq(r.model.toStdString(), d.model, d.id + ": status bar model");
        c.ExpectEq(r.lbaMode.toStdString(), std::string("LBA48"), d.id + ": addressing");
        c.ExpectEq(r.currentSectors, d.Sectors(), d.id + ": current sectors");
        c.Expect(HasLine(r, info::label::Model, QString::fromStdString(d.model)), d.id + ": model row");
        c.Expect(HasLine(r, info::label::Serial, QString::fromStdString(d.serial)), d.id + ": serial row");
        c.Expect(HasLine(r, info::label::Firmware, QString::fromStdString(d.firmware)), d.id + ": firmware row");
        c.Expect(HasLine(r, info::label::CurrentSectors, sectors), d.id + ": current sectors row");
        c.Expect(HasLine(r, info::label::MaxSectors, sectors), d.id + ": maximum sectors row");
        c.Note(d.id + ": " + r.lines.join(QStringLiteral(" | ")).simplified().toStdString());
    }
}
