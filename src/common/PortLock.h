#pragma once
#include <QByteArray>
#include <QString>
#include <memory>

// Marks a channel as taken by this process, shared by all running copies of
// the program: a Unix socket bound to an abstract name made of the lock's
// text (a port text such as "01F0", or any other short text such as a
// device path).  The name is the same for every user and environment, it
// has no file another user could create, replace or point elsewhere, and the
// kernel releases it when the process dies.
class PortLock {
public:
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // Takes the lock of `portText` without waiting.  Returns null when
    // another process holds it (`why` then stays empty), or when it cannot
    // be taken for another reason, which `why` gives as a sentence for the
    // user.  An empty text takes no lock and always succeeds (it then
    // guards nothing).
    static std::unique_ptr<PortLock> TryAcquire(const QString& portText, QString* why = nullptr);

    // The machine the locks belong to, part of every name: empty for the
    // real ports, another text for a simulated machine, so that copies on
    // different simulated machines do not keep each other from a channel.
    // Chosen once at start; tests use a private scope.
    static void SetScope(const QString& scope);
    static QString Scope();
    // The older name of SetScope, used by tests that isolate themselves
    // with a temporary folder's path.
    static void SetDirectory(const QString& dir) { SetScope(dir); }

    // The abstract socket name of a lock (without its leading zero byte).
    static QByteArray SocketName(const QString& portText);

    const QString& PortText() const { return m_portText; }

private:
    PortLock(QString portText, int fd) : m_portText(std::move(portText)), m_fd(fd) {}
    QString m_portText;
    int m_fd = -1;
};
