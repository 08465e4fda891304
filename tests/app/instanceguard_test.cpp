#include <filesystem>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QTest>

#include "app/instanceguard.h"
#include "util/tempdir.h"

namespace tvl::app {
namespace {

using test::TempDir;

QString dirOf(const TempDir& dir) {
    return QString::fromStdString(dir.path());
}

TEST(InstanceGuard, OneStartRunsAndASecondWakesIt) {
    TempDir dir;
    InstanceGuard first(dirOf(dir));
    ASSERT_EQ(first.check(), InstanceGuard::Result::First);
    QSignalSpy woken(&first, &InstanceGuard::wakeUpRequested);

    InstanceGuard second(dirOf(dir));
    EXPECT_EQ(second.check(), InstanceGuard::Result::Second);
    // The second start must not take the socket over from the first.
    EXPECT_TRUE(QFile::exists(first.socketPath()));
    EXPECT_TRUE(second.wakeFirst(2000));
    EXPECT_TRUE(woken.wait(2000));
    EXPECT_EQ(woken.count(), 1);

    // And again: every later start wakes it too.
    InstanceGuard third(dirOf(dir));
    EXPECT_EQ(third.check(), InstanceGuard::Result::Second);
    EXPECT_TRUE(third.wakeFirst(2000));
    QTRY_COMPARE(woken.count(), 2);
}

TEST(InstanceGuard, TheLockOfADeadInstanceIsTakenOver) {
    TempDir dir;
    {
        InstanceGuard crashed(dirOf(dir));
        ASSERT_EQ(crashed.check(), InstanceGuard::Result::First);
    }
    // A lock file naming a process that no longer runs, and its socket file left behind.
    const QString lockPath =
        dirOf(dir) + QStringLiteral("/VelmorQuistanFieldDataBaseProgramm.lock");
    QFile lock(lockPath);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999999\ntarvel\n\n");
    lock.close();
    QFile socket(dirOf(dir) + QStringLiteral("/VelmorQuistanFieldDataBaseProgramm"));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();

    InstanceGuard next(dirOf(dir));
    EXPECT_EQ(next.check(), InstanceGuard::Result::First);
    QSignalSpy woken(&next, &InstanceGuard::wakeUpRequested);
    InstanceGuard later(dirOf(dir));
    EXPECT_EQ(later.check(), InstanceGuard::Result::Second);
    EXPECT_TRUE(later.wakeFirst(2000));
    EXPECT_TRUE(woken.wait(2000));
}

TEST(InstanceGuard, ALockThatCannotBeMadeIsAFailureNotASecondInstance) {
    TempDir dir;
    InstanceGuard guard(dirOf(dir) + QStringLiteral("/no/such/folder"));
    EXPECT_EQ(guard.check(), InstanceGuard::Result::LockFailed);
}

TEST(InstanceGuard, ASecondStartWithNobodyListeningGivesUp) {
    TempDir dir;
    // Held by this process through another object, with no socket at all.
    QLockFile held(dirOf(dir) + QStringLiteral("/VelmorQuistanFieldDataBaseProgramm.lock"));
    ASSERT_TRUE(held.tryLock(0));
    InstanceGuard second(dirOf(dir));
    EXPECT_EQ(second.check(), InstanceGuard::Result::Second);
    EXPECT_FALSE(second.wakeFirst(300));
}

TEST(InstanceGuard, RuntimeDirectoryFallsBackToAPrivateTemporaryFolder) {
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString dir = InstanceGuard::runtimeDirectory();
    qputenv("XDG_RUNTIME_DIR", old);
    EXPECT_TRUE(dir.contains(QStringLiteral("tarvel-")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.toStdString()));
    const auto perms = std::filesystem::status(dir.toStdString()).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::others_all, std::filesystem::perms::none);
}

}  // namespace
}  // namespace tvl::app
