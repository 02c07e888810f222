#include "common/SafeFile.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex gHookMutex;
FileWriteHook gHook;

ssize_t WriteSome(int fd, const char* data, size_t size)
{
    {
        std::lock_guard<std::mutex> l(gHookMutex);
        if (gHook)
            return gHook(fd, data, size);
    }
    return ::write(fd, data, size);
}

// Every byte or the errno of the failure (0 when all went well).
int WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = WriteSome(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;  // a write that makes no progress: the device is full
        p += n;
        left -= size_t(n);
    }
    return 0;
}

bool Fail(QString* error, int e)
{
    if (error)
        *error = ErrnoText(e);
    return false;
}

QByteArray DirOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// A link the kernel would not follow under fs.protected_symlinks: it lies
// in a sticky world-writable folder and belongs neither to us nor to the
// folder's owner.
bool ForeignLinkInSharedFolder(const QByteArray& link, const struct stat& linkStat)
{
    struct stat dir {};
    if (::stat(DirOf(link).constData(), &dir) != 0)
        return true;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return shared && linkStat.st_uid != ::geteuid() && linkStat.st_uid != dir.st_uid;
}

// Follows symbolic links to the name that is really written.
bool ResolveLinks(QByteArray& path, QString* error)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        if (ForeignLinkInSharedFolder(path, st)) {
            if (error)
                *error = QStringLiteral("это символическая ссылка другого пользователя в общей папке; "
                                        "запись через неё запрещена");
            return false;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size())
            return Fail(error, n < 0 ? errno : ENAMETOOLONG);
        target.truncate(n);
        path = target.startsWith('/') ? target : DirOf(path) + '/' + target;
    }
    return Fail(error, ELOOP);
}

// A device, a FIFO or a socket keeps its identity: it is written in place.
bool WriteInPlace(const QByteArray& path, const QByteArray& bytes, QString* error)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, errno);
    int e = WriteAll(fd, bytes);
    if (::close(fd) != 0 && e == 0)
        e = errno;
    return e == 0 || Fail(error, e);
}

int CreateTemporary(const QByteArray& dir, QByteArray& name)
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + "/.voran-" + QByteArray::number(qint64(::getpid())) + '-' +
               QByteArray::number(counter++) + '-' + QByteArray::number(rd(), 36) + ".tmp";
        // 0666 less the umask, as any new file of the user.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool ReplaceRegular(const QByteArray& path, const QByteArray& bytes, const struct stat* old, QString* error)
{
    const QByteArray dir = DirOf(path);
    QByteArray temp;
    const int fd = CreateTemporary(dir, temp);
    if (fd < 0)
        return Fail(error, errno);
    if (old) {
        // The new file keeps the permissions (and, for root, the owner) of
        // the one it replaces.  Neither is a reason to lose the write.
        if (::geteuid() == 0) {
            const int owned = ::fchown(fd, old->st_uid, old->st_gid);
            (void)owned;
        }
        const int moded = ::fchmod(fd, old->st_mode & 07777);
        (void)moded;
    }
    int e = WriteAll(fd, bytes);
    if (e == 0 && ::fsync(fd) != 0)
        e = errno;
    if (::close(fd) != 0 && e == 0)
        e = errno;
    if (e == 0 && ::rename(temp.constData(), path.constData()) != 0)
        e = errno;
    if (e != 0) {
        ::unlink(temp.constData());
        return Fail(error, e);
    }
    // The rename itself on disk; the file is complete whatever this says.
    const int d = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        ::fsync(d);
        ::close(d);
    }
    return true;
}

}  // namespace

QString ErrnoText(int e)
{
    switch (e) {
    case ENOSPC: return QStringLiteral("на диске нет места");
    case EDQUOT: return QStringLiteral("превышена дисковая квота");
    case EACCES:
    case EPERM: return QStringLiteral("нет прав доступа");
    case EROFS: return QStringLiteral("файловая система доступна только для чтения");
    case ENOENT: return QStringLiteral("нет такого файла или папки");
    case ENOTDIR: return QStringLiteral("часть пути не является папкой");
    case EISDIR: return QStringLiteral("это папка, а не файл");
    case EIO: return QStringLiteral("ошибка ввода-вывода");
    case EPIPE: return QStringLiteral("читающая сторона закрыла канал");
    case EBADF: return QStringLiteral("поток закрыт");
    case ENAMETOOLONG: return QStringLiteral("слишком длинное имя");
    case ELOOP: return QStringLiteral("слишком много символических ссылок");
    case ENXIO: return QStringLiteral("устройство или канал без читающей стороны");
    case EFBIG: return QStringLiteral("файл слишком велик");
    default: return QStringLiteral("%1 (errno %2)").arg(QString::fromLocal8Bit(std::strerror(e))).arg(e);
    }
}

void SetFileWriteHook(FileWriteHook hook)
{
    std::lock_guard<std::mutex> l(gHookMutex);
    gHook = std::move(hook);
}

bool WriteFileSafely(const QString& fileName, const QByteArray& bytes, QString* error)
{
    if (fileName.isEmpty())
        return Fail(error, ENOENT);
    QByteArray path = QFile::encodeName(fileName);
    if (!ResolveLinks(path, error))
        return false;
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        if (errno != ENOENT)
            return Fail(error, errno);
        return ReplaceRegular(path, bytes, nullptr, error);
    }
    if (S_ISDIR(st.st_mode))
        return Fail(error, EISDIR);
    if (!S_ISREG(st.st_mode))
        return WriteInPlace(path, bytes, error);
    return ReplaceRegular(path, bytes, &st, error);
}

bool ReadFileLimited(const QString& fileName, qint64 limit, QByteArray& out, QString* error, bool* missing)
{
    out.clear();
    if (missing)
        *missing = false;
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        return Fail(error, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return Fail(error, EISDIR);
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            ::close(fd);
            return Fail(error, e);
        }
        if (n == 0)
            break;
        if (out.size() + n > limit) {
            ::close(fd);
            out.clear();
            if (error)
                *error = QStringLiteral("файл больше %1 байт").arg(limit);
            return false;
        }
        out.append(buf, n);
    }
    ::close(fd);
    return true;
}
