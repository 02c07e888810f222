#include "common/PortLock.h"

#include <QCryptographicHash>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/SafeFile.h"

namespace {
QMutex gScopeMutex;
QString gScope;
}  // namespace

void PortLock::SetScope(const QString& scope)
{
    QMutexLocker l(&gScopeMutex);
    gScope = scope;
}

QString PortLock::Scope()
{
    QMutexLocker l(&gScopeMutex);
    return gScope;
}

QByteArray PortLock::SocketName(const QString& portText)
{
    const QByteArray scope = Scope().toUtf8();
    const QByteArray text = portText.toUtf8();
    QByteArray name = "voran-port:" + scope + ':' + text;
    // A name too long for the socket address stands for itself by its hash.
    if (size_t(name.size()) > sizeof(sockaddr_un::sun_path) - 1)
        name = "voran-port#" + QCryptographicHash::hash(scope + '\0' + text, QCryptographicHash::Sha256).toHex();
    return name;
}

std::unique_ptr<PortLock> PortLock::TryAcquire(const QString& portText, QString* why)
{
    if (why)
        why->clear();
    if (portText.isEmpty())
        return std::unique_ptr<PortLock>(new PortLock(portText, -1));
    auto fail = [&](int e) -> std::unique_ptr<PortLock> {
        if (why)
            *why = QStringLiteral("Не удалось занять порт %1 для этой копии программы: %2").arg(portText, ErrnoText(e));
        return nullptr;
    };
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(errno);
    const QByteArray name = SocketName(portText);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    // sun_path[0] stays 0: the abstract namespace.
    std::memcpy(addr.sun_path + 1, name.constData(), size_t(name.size()));
    const socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EADDRINUSE)
            return nullptr;
        return fail(e);
    }
    return std::unique_ptr<PortLock>(new PortLock(portText, fd));
}

PortLock::~PortLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
