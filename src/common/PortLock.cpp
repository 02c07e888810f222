#include "common/PortLock.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
QMutex gDirMutex;
QString gDir;
}

QString PortLock::Directory()
{
    QMutexLocker l(&gDirMutex);
    if (!gDir.isEmpty())
        return gDir;
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QFileInfo(xdg).isDir() && QFileInfo(xdg).isWritable())
        return xdg;
    const QFileInfo runLock(QStringLiteral("/run/lock"));
    if (runLock.isDir() && runLock.isWritable())
        return runLock.absoluteFilePath();
    return QDir::tempPath();
}

void PortLock::SetDirectory(const QString& dir)
{
    QMutexLocker l(&gDirMutex);
    gDir = dir;
}

QString PortLock::FileFor(const QString& portText)
{
    QString safe;
    for (QChar c : portText)
        safe += (c.isLetterOrNumber() ? c : QLatin1Char('_'));
    return Directory() + QStringLiteral("/voran-port-") + safe + QStringLiteral(".lock");
}

std::unique_ptr<PortLock> PortLock::TryAcquire(const QString& portText)
{
    if (portText.isEmpty())
        return std::unique_ptr<PortLock>(new PortLock(portText, -1));
    const QByteArray path = QFile::encodeName(FileFor(portText));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Without a lock file there is no way to coordinate; do not refuse
        // the port for that, the selection would be impossible otherwise.
        return std::unique_ptr<PortLock>(new PortLock(portText, -1));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PortLock>(new PortLock(portText, fd));
}

PortLock::~PortLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
