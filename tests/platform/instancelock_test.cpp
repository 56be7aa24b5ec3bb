// One copy per user: the lock refuses a second holder and goes with its holder.
#include "platform/FileName.h"
#include "platform/InstanceLock.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <QDir>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using testsupport::TTempDir;

QString LockIn(const TTempDir& dir) {
    return DecodeFileName(dir / "Velodra.lock");
}

// Runs fn in a child process; the child reports through its exit code.
int InChild(const std::function<int()>& fn) {
    const pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(InstanceLockTest, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    TTempDir dir;
    auto first = std::make_unique<TInstanceLock>(LockIn(dir));
    EXPECT_TRUE(first->Acquired());
    EXPECT_TRUE(first->Held());
    {
        TInstanceLock second(LockIn(dir));
        EXPECT_FALSE(second.Acquired());
        EXPECT_FALSE(second.Held());
    }
    EXPECT_EQ(InChild([&] { return TInstanceLock(LockIn(dir)).Acquired() ? 1 : 0; }), 0);
    first.reset();
    TInstanceLock third(LockIn(dir));
    EXPECT_TRUE(third.Acquired());
}

TEST(InstanceLockTest, TheLockEndsWithAProcessThatDies) {
    TTempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        TInstanceLock lock(LockIn(dir));
        const char c = lock.Acquired() ? 'y' : 'n';
        if (write(ready[1], &c, 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_FALSE(TInstanceLock(LockIn(dir)).Acquired());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(TInstanceLock(LockIn(dir)).Acquired());
    close(ready[0]);
    close(ready[1]);
}

TEST(InstanceLockTest, AProgramStartedFromTheHolderDoesNotKeepTheLock) {
    TTempDir dir;
    auto lock = std::make_unique<TInstanceLock>(LockIn(dir));
    ASSERT_TRUE(lock->Held());
    // The pipe's write end closes on exec: end of file tells that the child runs the program.
    int execed[2];
    ASSERT_EQ(pipe2(execed, O_CLOEXEC), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("sleep", "sleep", "5", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(execed[1]);
    char c;
    ASSERT_EQ(read(execed[0], &c, 1), 0);
    close(execed[0]);
    lock.reset();
    EXPECT_TRUE(TInstanceLock(LockIn(dir)).Acquired());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST(InstanceLockTest, ALockFileThatCannotBeMadeDoesNotStopTheProgram) {
    TTempDir dir;
    TInstanceLock lock(DecodeFileName(dir / "no/such/folder/Velodra.lock"));
    EXPECT_TRUE(lock.Acquired());
    EXPECT_FALSE(lock.Held());
}

TEST(InstanceLockTest, TheLockLivesInTheRuntimeFolderElseInTempPerUser) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(TInstanceLock::DefaultPath(), "/run/user/4242/Velodra.lock");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TInstanceLock::DefaultPath(),
              QDir::tempPath() + QStringLiteral("/Velodra-%1.lock").arg(getuid()));
    if (!saved.isNull()) qputenv("XDG_RUNTIME_DIR", saved);
}
