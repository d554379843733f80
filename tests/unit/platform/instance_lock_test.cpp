#include "platform/instance_lock.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace movan;

namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved); }

    QTemporaryDir runtime;
    QByteArray saved;
};

TEST_F(InstanceLockTest, OneHolderPerNameUntilReleased)
{
    const QString name = QStringLiteral("TabcSingleInstance in application movan-config");
    auto first = InstanceLock::tryAcquire(name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(InstanceLock::tryAcquire(name), nullptr);
    EXPECT_NE(InstanceLock::tryAcquire(name + QStringLiteral("2")), nullptr);
    first.reset();
    EXPECT_NE(InstanceLock::tryAcquire(name), nullptr);
}

TEST_F(InstanceLockTest, AKilledHolderLeavesTheNameFree)
{
    const QString name = QStringLiteral("TabcSingleInstance in application killed");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto lock = InstanceLock::tryAcquire(name);
        char byte = lock ? 1 : 0;
        (void)::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    EXPECT_EQ(InstanceLock::tryAcquire(name), nullptr);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_NE(InstanceLock::tryAcquire(name), nullptr);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(InstanceLockTest, SemaphoreCountsItsHoldersAndForgetsThoseGone)
{
    const QString name = QStringLiteral("TabcSingleInstance Semaphore in application movan-config");
    auto a = InstanceSemaphore::acquire(name);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->holders(), 1);
    auto b = InstanceSemaphore::acquire(name);
    auto c = InstanceSemaphore::acquire(name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(a->holders(), 3);
    b.reset();
    EXPECT_EQ(c->holders(), 2);
    // The freed unit is taken again by the next holder.
    auto d = InstanceSemaphore::acquire(name);
    EXPECT_EQ(a->holders(), 3);
}

TEST_F(InstanceLockTest, AnyTitleMakesAFileNameInTheRuntimeFolder)
{
    const QString longTitle(300, QLatin1Char('x'));
    for (const QString &title : {QStringLiteral("a/b\\c:d"), longTitle, QStringLiteral("مووان")}) {
        const QString path = perUserObjectPath(QStringLiteral("TabcSingleInstance in application ") + title);
        EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(runtime.path()).absoluteFilePath());
        EXPECT_LE(QFileInfo(path).fileName().toUtf8().size(), 255);
        EXPECT_NE(InstanceLock::tryAcquire(QStringLiteral("TabcSingleInstance in application ") + title), nullptr);
    }
    // Long titles that share their start still get files of their own.
    EXPECT_NE(perUserObjectPath(longTitle + QStringLiteral("1")), perUserObjectPath(longTitle + QStringLiteral("2")));
}

} // namespace
