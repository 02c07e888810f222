#pragma once
#include <QString>
#include <memory>

// Marks a base port as taken by this process, shared by all running copies
// of the program: an exclusive flock() on a lock file named after the port
// text.  The kernel releases it when the process dies.
class PortLock {
public:
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // Takes the lock of `portText` without waiting.  Returns null when another
    // process holds it.  An empty port text has no lock file and always
    // succeeds (the lock then guards nothing).
    static std::unique_ptr<PortLock> TryAcquire(const QString& portText);

    // The directory of the lock files: $XDG_RUNTIME_DIR, else /run/lock, else
    // the temporary directory.  Tests may point it elsewhere.
    static QString Directory();
    static void SetDirectory(const QString& dir);
    static QString FileFor(const QString& portText);

    const QString& PortText() const { return m_portText; }

private:
    PortLock(QString portText, int fd) : m_portText(std::move(portText)), m_fd(fd) {}
    QString m_portText;
    int m_fd = -1;
};
