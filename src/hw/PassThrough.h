#pragma once
// Who answers ATA pass-through requests (the SG_IO ioctl): the kernel,
// through the device nodes of its disks, or the simulated machine's stand-in
// for it.  The process installs one host at start, as it chooses its port
// backend: the kernel's only in hardware mode, so that nothing else ever
// opens a real /dev node.
#include <scsi/sg.h>

#include <memory>
#include <string>
#include <vector>

namespace ata {

class Transport;

// One opened node.
class SgNode {
public:
    virtual ~SgNode() = default;
    // Runs one SG_IO request: 0, or the errno the ioctl failed with.
    virtual int Io(sg_io_hdr_t& h) = 0;
};

class PassThroughHost {
public:
    virtual ~PassThroughHost() = default;
    // Opens a whole disk for SG_IO: a node, or null with a sentence for the
    // user in `why` (and the errno in `error` where there is one).
    virtual std::shared_ptr<SgNode> Open(const std::string& path, std::string* why, int* error = nullptr) = 0;
    // The drives this host knows by itself (the simulated machine's); the
    // kernel's are found through sysfs.
    virtual std::vector<std::string> Drives() const = 0;
    // One name per drive, for the port lock: the sg node of a disk and its
    // block device give the same name.
    virtual std::string DriveName(const std::string& path) const = 0;
    virtual bool Simulated() const = 0;
};

// The process's host (null: no pass-through drives in this mode).  The
// program installs one at start; tests may install another between cases.
void InstallPassThroughHost(std::shared_ptr<PassThroughHost> host);
std::shared_ptr<PassThroughHost> CurrentPassThroughHost();

// The kernel's: opens /dev/sdX or /dev/sgN (read-write, as ATA PASS-THROUGH
// (12) and the sg driver require of a member of group disk) and refuses
// anything that is not a whole disk before any ioctl is sent.
std::shared_ptr<PassThroughHost> KernelPassThroughHost();

// A transport to the pass-through drive `path` of the installed host, or
// null with the reason.
std::shared_ptr<Transport> OpenPassThrough(const std::string& path, std::string* why);

// The sentences for what the kernel refuses: opening (EACCES: not in group
// disk) or ATA PASS-THROUGH (16) (EPERM: no CAP_SYS_RAWIO), other errnos of
// SG_IO, and commands refused with ILLEGAL REQUEST (Result::osError holds
// the packed sense code).
std::string AccessErrorText(int error, const std::string& path);
std::string RefusalText(int osError, const std::string& path);

}  // namespace ata
