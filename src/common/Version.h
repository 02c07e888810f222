#pragma once
#include <QString>
#include <optional>

// The program's version record: the product name and file version compiled
// in from the build.  A lookup may find no record at all (tests switch it
// off), which callers must handle the way they handle a missing resource.
struct VersionRecord {
    QString productName;
    QString fileVersion;
};

std::optional<VersionRecord> LookupVersion();
// Tests only: make LookupVersion() report no version information.
void SetVersionLookupEnabled(bool enabled);
