// The lock that marks a channel as taken between running copies.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <sys/resource.h>
#include <unistd.h>

#include "common/PortLock.h"

namespace {

// A name no other test (nor another checkout's test run) uses.
QString UniqueName() { return QStringLiteral("TEST") + QUuid::createUuid().toString(QUuid::Id128); }

// Another copy that holds `name` until it is told to end.
struct Holder {
    QProcess p;
    Holder(const QString& name, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VORAN_LOCK_HOLDER), {name});
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(p.waitForReadyRead(10000));
        EXPECT_EQ(p.readLine().trimmed(), "HELD");
    }
    ~Holder()
    {
        p.closeWriteChannel();
        p.waitForFinished();
    }
};

}  // namespace

TEST(PortLock, HeldByAnotherCopyWhateverItsEnvironmentUntilItDies)
{
    const QString name = UniqueName();
    QTemporaryDir elsewhere;
    // Started as through su or sudo: another runtime folder, home and
    // temporary folder.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", elsewhere.path());
    env.insert("TMPDIR", elsewhere.path());
    env.insert("HOME", elsewhere.path());
    {
        Holder other(name, env);
        QString why;
        EXPECT_EQ(PortLock::TryAcquire(name, &why), nullptr);
        EXPECT_TRUE(why.isEmpty()) << "taken, not failed";
        EXPECT_NE(PortLock::TryAcquire(name + "-other"), nullptr);
    }
    EXPECT_NE(PortLock::TryAcquire(name), nullptr) << "released when the holder ends";

    // Killed: the kernel releases the lock.
    Holder killed(name);
    EXPECT_EQ(PortLock::TryAcquire(name), nullptr);
    killed.p.kill();
    killed.p.waitForFinished();
    EXPECT_NE(PortLock::TryAcquire(name), nullptr);
}

TEST(PortLock, NothingInTheFileSystemCanBlockRedirectOrBypassIt)
{
    // What another user could leave where a lock file would go: a folder in
    // its place, a link to a file of the system.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString name = UniqueName();
    ASSERT_TRUE(QDir(runtime.path()).mkdir("voran-port-" + name + ".lock"));
    const QString victim = runtime.filePath("victim");
    ASSERT_TRUE(QFile::link(victim, runtime.filePath("voran-port-" + name + "X2.lock")));

    auto first = PortLock::TryAcquire(name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PortLock::TryAcquire(name), nullptr) << "a second holder is refused, even in this process";
    auto second = PortLock::TryAcquire(name + "X2");
    EXPECT_NE(second, nullptr);
    EXPECT_FALSE(QFile::exists(victim)) << "no file is created through a link";
    qunsetenv("XDG_RUNTIME_DIR");

    first.reset();
    EXPECT_NE(PortLock::TryAcquire(name), nullptr) << "released when dropped";
    EXPECT_NE(PortLock::TryAcquire(""), nullptr) << "an empty text guards nothing and always succeeds";
}

TEST(PortLock, AFailureOtherThanTakenIsSaidAndRefused)
{
    // No descriptor left for the lock.
    rlimit old {};
    ::getrlimit(RLIMIT_NOFILE, &old);
    rlimit none = old;
    none.rlim_cur = 3;
    ::setrlimit(RLIMIT_NOFILE, &none);
    QString why;
    const auto lock = PortLock::TryAcquire(QStringLiteral("01F0"), &why);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(lock, nullptr) << "never goes on without a lock";
    EXPECT_TRUE(why.contains(QStringLiteral("Не удалось занять порт 01F0"))) << why.toStdString();
}

TEST(PortLock, AnyShortTextIsALockNameAndScopesKeepMachinesApart)
{
    const QString device = QStringLiteral("/dev/disk/by-id/ata-") + UniqueName() + QString(80, 'x');
    auto a = PortLock::TryAcquire(device);
    ASSERT_NE(a, nullptr) << "a long device path stands for itself by its hash";
    EXPECT_EQ(PortLock::TryAcquire(device), nullptr);
    EXPECT_LE(PortLock::SocketName(device).size(), 107);

    // Copies on different simulated machines do not share a channel.
    const QString name = UniqueName();
    PortLock::SetScope("machine-a");
    auto onA = PortLock::TryAcquire(name);
    PortLock::SetScope("machine-b");
    auto onB = PortLock::TryAcquire(name);
    PortLock::SetScope(QString());
    EXPECT_NE(onA, nullptr);
    EXPECT_NE(onB, nullptr);
}
