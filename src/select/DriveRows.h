#pragma once
// The rows of the selection grid for drives that a kernel driver owns and
// that take ATA commands through the kernel's pass-through (SATA and PATA
// disks of libata, disks behind USB bridges): listed after the channels of
// the PCI scan, in the same three columns (name, device path, kind).
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "hw/KernelDrives.h"

namespace ata {
class Transport;
}

struct DriveRow {
    QString name;  // column 0: "SATA ata1 (ahci): MODEL", "USB 2-1 (uas): VENDOR PRODUCT"
    QString path;  // column 1: the device node; LastPort remembers the row by it
    QString kind;  // column 2: "SATA", "PATA" or "USB"
    QString port;  // "ata1", "2-1"; empty where unknown
    QString model;
    QString driver;  // of the controller or the USB interface; empty where unknown
    // The status bar's first panel once connected: the path and where the
    // drive sits.
    QString Status() const;
};

// The row of a drive found through sysfs.
DriveRow KernelDriveRow(const ata::KernelDrive& drive);
// The row of a drive known only by its path, model and kind (the simulated
// machine's).
DriveRow PlainDriveRow(const QString& path, const QString& model, const QString& kind);

// Where the rows of this mode come from, chosen once at start: the kernel's
// drives in hardware mode (KernelDriveRows), the simulated machine's own
// otherwise; unset, there are none.  Tests set their own.
void SetDriveRowSource(std::function<std::vector<DriveRow>()> source);
std::vector<DriveRow> DriveRows();
std::vector<DriveRow> KernelDriveRows();

// The one name of a drive for the lock between running copies of the
// program (its sg node and its block device are one drive).
QString DriveLockName(const QString& path);

// Opens a row's drive on OK: the transport, once one IDENTIFY showed that
// commands reach the drive, ready to be connected; or null with what stands
// in the way (the group disk, CAP_SYS_RAWIO, a USB bridge that does not pass
// ATA commands through, a node that is no disk).  A drive that answers
// IDENTIFY with an error is still opened: it is there.
std::shared_ptr<ata::Transport> OpenDriveRow(const DriveRow& row, uint16_t timeOutSeconds, QString* why);
