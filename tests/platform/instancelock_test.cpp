// One copy per user: the lock refuses a second holder and goes with its holder.
#include "platform/FileName.h"
#include "platform/InstanceLock.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <QDir>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using testsupport::TTempDir;
using testsupport::WriteFile;

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

TEST(InstanceLockTest, TheProcessLockReleasedLetsAnotherStartTakeIt) {
    TTempDir dir;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path.string()));
    ASSERT_TRUE(AcquireInstanceLock());
    EXPECT_EQ(InChild([&] { return TInstanceLock(LockIn(dir)).Acquired() ? 1 : 0; }), 0);
    ReleaseInstanceLock();
    EXPECT_EQ(InChild([&] { return TInstanceLock(LockIn(dir)).Acquired() ? 1 : 0; }), 1);
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

// Copies started with and without the session's variables must find the same lock.
TEST(InstanceLockTest, TheLockLivesInTheRuntimeFolderElseTheUsersOwnElseTempPerUser) {
    TTempDir dir;
    const uid_t uid = getuid();
    const QByteArray runtime = QByteArray::fromStdString(dir / "runtime");
    const QByteArray runUser = QByteArray::fromStdString(dir / "run-user");
    ASSERT_EQ(mkdir(runtime.constData(), 0700), 0);
    ASSERT_EQ(mkdir(runUser.constData(), 0755), 0);
    const QString temp = QDir::tempPath() + QStringLiteral("/Velodra-%1.lock").arg(uid);
    const QString own = DecodeFileName(runUser + '/' + QByteArray::number(uid)) + "/Velodra.lock";

    struct TCase {
        const char* What;
        QByteArray Runtime;
        bool UserFolderExists;
        QString Expected;
    };
    const TCase cases[] = {
        {"usable runtime folder", runtime, true, DecodeFileName(runtime) + "/Velodra.lock"},
        {"unset, user folder", QByteArray(), true, own},
        {"missing runtime folder, user folder", runtime + "/gone", true, own},
        {"relative runtime folder", "run", true, own},
        {"unset, no user folder", QByteArray(), false, temp},
        {"missing runtime folder, no user folder", runtime + "/gone", false, temp},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const QByteArray userFolder = runUser + '/' + QByteArray::number(uid);
        if (c.UserFolderExists)
            mkdir(userFolder.constData(), 0700);
        else
            rmdir(userFolder.constData());
        EXPECT_EQ(TInstanceLock::DefaultPath(c.Runtime, uid, runUser), c.Expected);
    }
    // Somebody else's folder under the runtime root is not ours to use.
    EXPECT_EQ(TInstanceLock::DefaultPath({}, uid + 1, runUser),
              QDir::tempPath() + QStringLiteral("/Velodra-%1.lock").arg(uid + 1));
}

// In the shared temp folder a file planted by someone else (a link, a FIFO) is never used.
TEST(InstanceLockTest, APlantedLinkOrFifoIsNotFollowedNorWaitedOn) {
    TTempDir dir;
    const std::string target = dir / "target";
    WriteFile(target, "x");
    const std::string link = dir / "link.lock";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string fifo = dir / "fifo.lock";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& p : {link, fifo}) {
        SCOPED_TRACE(p);
        TInstanceLock lock(DecodeFileName(p));
        EXPECT_FALSE(lock.Held());
    }
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x");
}
