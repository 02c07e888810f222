#pragma once
// Files that fail the way the world makes them fail, for the writers'
// tests.
#include <QString>
#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace testsupport {

// A character device that behaves like /dev/null ("null") or /dev/full
// ("full").  As root it is a node of its own in `dir`, so that a writer that
// replaced devices could never destroy the system's; otherwise the
// system's device itself, which an ordinary user cannot replace.
inline QString DeviceLike(const QString& dir, const char* which)
{
    const bool full = QString::fromLatin1(which) == QLatin1String("full");
    const QString system = full ? QStringLiteral("/dev/full") : QStringLiteral("/dev/null");
    if (::geteuid() != 0)
        return system;
    const QString own = dir + QStringLiteral("/dev-") + QLatin1String(which);
    if (::mknod(QFile::encodeName(own).constData(), S_IFCHR | 0666, makedev(1, full ? 7 : 3)) != 0)
        return QString();
    return own;
}

// A full disk without root: while a FileSizeLimit lives, no file of this
// process can grow past `bytes` (RLIMIT_FSIZE; the write fails with EFBIG
// instead of raising SIGXFSZ).  Pipes and terminals are not affected.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = m_old;
        l.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

}  // namespace testsupport
