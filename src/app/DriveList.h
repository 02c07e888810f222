#pragma once
// voran --list: every drive the program can reach in its mode, one line
// each: the devices of every IDE channel the PCI scan finds (identified
// through the channel's ports), then the drives of the kernel's
// pass-through (from sysfs in hardware mode; no command is sent to them).
#include <QString>
#include <QStringList>
#include <vector>

#include "app/ConsoleMode.h"

// One line of the list.
struct ListedDrive {
    QString address;  // what --channel or --device takes: "01F0", "D000:D400", "/dev/sda"
    QString unit;     // "Master", "Slave", or the kind of a pass-through drive ("SATA", "USB")
    QString model;    // or why the device could not be identified
    QString where;    // the channel's name, or the drive's port and driver
};

// The lines, in aligned columns.
QStringList DriveListLines(const std::vector<ListedDrive>& drives);

// Lists the drives on io.out.  `portRefusal` (hardware mode without access
// to the ports) is said once on io.err; the channels are then left out.
// Exit status 0, or 4 when the list could not be written.
int RunDriveList(const ConsoleStreams& io, const QString& portRefusal);
