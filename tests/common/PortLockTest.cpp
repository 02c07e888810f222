#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <sys/file.h>
#include <unistd.h>
#include <fcntl.h>

#include "common/PortLock.h"

TEST(PortLock, AnotherProcessHoldingThePortRefusesIt)
{
    QTemporaryDir dir;
    PortLock::SetDirectory(dir.path());
    const QString file = PortLock::FileFor("01F0");
    // A child process takes the lock and keeps it until its stdin closes.
    QProcess holder;
    holder.start("flock", {"-x", file, "cat"});
    ASSERT_TRUE(holder.waitForStarted());
    // Wait until the child holds it.
    bool held = false;
    for (int i = 0; i < 200 && !held; ++i) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
        if (fd >= 0) {
            held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
        }
        if (!held)
            usleep(10000);
    }
    ASSERT_TRUE(held);
    EXPECT_EQ(PortLock::TryAcquire("01F0"), nullptr);
    EXPECT_NE(PortLock::TryAcquire("0170"), nullptr);
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished());
    EXPECT_NE(PortLock::TryAcquire("01F0"), nullptr) << "released when the holder ends";
    PortLock::SetDirectory(QString());
}

TEST(PortLock, ReleasedWhenDroppedAndEmptyTextAlwaysSucceeds)
{
    QTemporaryDir dir;
    PortLock::SetDirectory(dir.path());
    auto a = PortLock::TryAcquire("0170");
    ASSERT_NE(a, nullptr);
    a.reset();
    EXPECT_NE(PortLock::TryAcquire("0170"), nullptr);
    EXPECT_NE(PortLock::TryAcquire(""), nullptr);
    PortLock::SetDirectory(QString());
}
