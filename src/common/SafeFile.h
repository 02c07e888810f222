#pragma once
// The one way this program writes a file the user cares about (reports,
// --output, Voran.ini, a machine's .state file), and the bounded read of the
// files it takes in.
//
// A regular file (or a name that does not exist yet) is written to a new
// temporary file in the same folder; every write, the fsync and the close are
// checked before the temporary file is renamed over the old one, so the old
// file stays whole on any failure.  Anything else that already exists under
// the name (a device such as /dev/null, a FIFO) is written in place, since
// replacing it would destroy it; a failure there is reported all the same.
// A symbolic link is never replaced: the write goes through to its target,
// except for a link of another user in a world-writable sticky folder (/tmp),
// which the kernel's own protected_symlinks rule also refuses to follow.
#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

// Writes `bytes` as the file `fileName`.  On failure returns false and puts
// the reason (Russian, without the file name) into `error`.
bool WriteFileSafely(const QString& fileName, const QByteArray& bytes, QString* error = nullptr);

// Reads the whole file, refusing one of more than `limit` bytes (so that
// /dev/zero or a huge file cannot exhaust the memory).  `missing` (when
// given) is set when the file does not exist.  On failure returns false and
// the reason, without the file name.
bool ReadFileLimited(const QString& fileName, qint64 limit, QByteArray& out, QString* error = nullptr,
                     bool* missing = nullptr);

// The reason of an errno value in the program's language.
QString ErrnoText(int errnoValue);

// Tests replace write(2) of the writer to simulate a full disk; an empty
// function restores the real one.
using FileWriteHook = std::function<ssize_t(int fd, const char* data, size_t size)>;
void SetFileWriteHook(FileWriteHook hook);
