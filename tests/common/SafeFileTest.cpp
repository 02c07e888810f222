// The one writer of the files the user cares about, and the bounded reader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "common/IniFile.h"
#include "common/SafeFile.h"
#include "common/TextFile.h"
#include "support/TestFiles.h"

namespace {

QByteArray ReadAll(const QString& f)
{
    QFile in(f);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& f, const QByteArray& b)
{
    QFile out(f);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(b);
}

// Everything in the folder but the given files: temporary files left behind.
QStringList Leftovers(const QTemporaryDir& dir, const QStringList& expected)
{
    QStringList all = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : expected)
        all.removeAll(e);
    return all;
}

// A write hook that lets `room` bytes through and then says the disk is full.
class FullAfter {
public:
    explicit FullAfter(size_t room) : m_room(room)
    {
        SetFileWriteHook([this](int fd, const char* p, size_t n) -> ssize_t {
            if (m_room == 0) {
                errno = ENOSPC;
                return -1;
            }
            const size_t take = std::min(n, m_room);
            m_room -= take;
            return ::write(fd, p, take);
        });
    }
    ~FullAfter() { SetFileWriteHook({}); }

private:
    size_t m_room;
};

mode_t ModeOf(const QString& f)
{
    struct stat st {};
    ::lstat(QFile::encodeName(f).constData(), &st);
    return st.st_mode;
}

}  // namespace

TEST(SafeFile, AFullDiskKeepsTheOldFileOfEveryWriterAndSaysSo)
{
    QTemporaryDir dir;
    const QString report = dir.filePath("report.txt");
    const QString ini = dir.filePath("Voran.ini");
    WriteAll(report, "old report\r\n");
    WriteAll(ini, "[Port]\nLastPort=01F0\nSavePort=1\n");
    const QStringList big(3000, QStringLiteral("     Error UNC    : 123456"));

    {
        // The disk fills up in the middle of the data.
        FullAfter full(1000);
        QString why;
        EXPECT_FALSE(WriteReportFile(report, big, &why));
        EXPECT_EQ(why, QStringLiteral("на диске нет места"));
        EXPECT_THROW(IniFile(ini).WriteString("Port", "LastPort", QString(4000, 'x')), IniWriteError);
    }
    {
        // A quota or size limit: the kernel refuses the write itself.
        testsupport::FileSizeLimit limit(4096);
        QString why;
        EXPECT_FALSE(WriteReportFile(report, big, &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_THROW(IniFile(ini).WriteString("Port", "LastPort", QString(8000, 'x')), IniWriteError);
    }
    EXPECT_EQ(ReadAll(report), "old report\r\n");
    EXPECT_EQ(ReadAll(ini), "[Port]\nLastPort=01F0\nSavePort=1\n") << "no section emptied";
    EXPECT_EQ(Leftovers(dir, {"report.txt", "Voran.ini"}), QStringList()) << "no temporary file left behind";

    // With room again both are written, keeping the file's permissions.
    ::chmod(QFile::encodeName(report).constData(), 0640);
    ASSERT_TRUE(WriteReportFile(report, {"new"}));
    EXPECT_EQ(ReadAll(report), "new\r\n");
    EXPECT_EQ(ModeOf(report) & 07777, 0640u);
}

TEST(SafeFile, DevicesAndFifosAreWrittenInPlaceAndFailHonestly)
{
    QTemporaryDir dir;
    const QString null = testsupport::DeviceLike(dir.path(), "null");
    const QString full = testsupport::DeviceLike(dir.path(), "full");
    ASSERT_FALSE(null.isEmpty() || full.isEmpty());
    QString why;
    EXPECT_TRUE(WriteFileSafely(null, "report"));
    EXPECT_TRUE(S_ISCHR(ModeOf(null))) << "the device is still a device";
    EXPECT_FALSE(WriteFileSafely(full, "report", &why));
    EXPECT_EQ(why, QStringLiteral("на диске нет места"));
    EXPECT_TRUE(S_ISCHR(ModeOf(full)));

    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess reader;
    reader.start("cat", {fifo});
    ASSERT_TRUE(reader.waitForStarted());
    EXPECT_TRUE(WriteFileSafely(fifo, "through the pipe\n", &why)) << why.toStdString();
    ASSERT_TRUE(reader.waitForFinished());
    EXPECT_EQ(reader.readAllStandardOutput(), "through the pipe\n");
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));

    EXPECT_FALSE(WriteFileSafely(dir.path(), "x", &why));
    EXPECT_EQ(why, QStringLiteral("это папка, а не файл"));
}

TEST(SafeFile, SymbolicLinksAreWrittenThroughNeverReplaced)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("real.txt");
    const QString link = dir.filePath("link.txt");
    WriteAll(target, "old");
    ASSERT_TRUE(QFile::link("real.txt", link));
    ASSERT_TRUE(WriteFileSafely(link, "new"));
    EXPECT_TRUE(S_ISLNK(ModeOf(link)));
    EXPECT_EQ(ReadAll(target), "new");

    // A link to a file that is not there yet creates that file.
    const QString dangling = dir.filePath("later.txt");
    ASSERT_TRUE(QFile::link("created.txt", dangling));
    ASSERT_TRUE(WriteFileSafely(dangling, "made"));
    EXPECT_EQ(ReadAll(dir.filePath("created.txt")), "made");

    if (::geteuid() != 0)
        return;
    // Another user's link in a shared sticky folder (as in /tmp) is not
    // followed, as the kernel's protected_symlinks rule has it.
    const QString shared = dir.filePath("shared");
    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    const QString trap = shared + "/report.txt";
    ASSERT_TRUE(QFile::link(target, trap));
    ASSERT_EQ(::lchown(QFile::encodeName(trap).constData(), 65534, 65534), 0);
    QString why;
    EXPECT_FALSE(WriteFileSafely(trap, "overwritten", &why));
    EXPECT_TRUE(why.contains(QStringLiteral("символическая ссылка"))) << why.toStdString();
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(SafeFile, ReadingIsBoundedAndSaysWhy)
{
    QByteArray bytes;
    QString why;
    bool missing = false;
    EXPECT_FALSE(ReadFileLimited("/dev/zero", 1 << 20, bytes, &why));
    EXPECT_TRUE(why.contains(QString::number(1 << 20))) << why.toStdString();
    EXPECT_TRUE(bytes.isEmpty());
    QTemporaryDir dir;
    EXPECT_FALSE(ReadFileLimited(dir.filePath("none"), 100, bytes, &why, &missing));
    EXPECT_TRUE(missing);
    WriteAll(dir.filePath("f"), "12345");
    EXPECT_TRUE(ReadFileLimited(dir.filePath("f"), 5, bytes, &why, &missing));
    EXPECT_EQ(bytes, "12345");
    EXPECT_FALSE(ReadFileLimited(dir.filePath("f"), 4, bytes, &why));
}
