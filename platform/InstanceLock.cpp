#include "platform/InstanceLock.h"

#include "platform/FileName.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
// A folder of the user's own that the lock can live in.
bool OwnFolder(const QByteArray& path, uid_t uid) {
    struct stat st {};
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == uid && ::access(path.constData(), W_OK | X_OK) == 0;
}
} // namespace

QString TInstanceLock::DefaultPath() {
    return DefaultPath(qgetenv("XDG_RUNTIME_DIR"), ::getuid(), "/run/user");
}

QString TInstanceLock::DefaultPath(const QByteArray& runtimeDir, uid_t uid,
                                   const QByteArray& runUser) {
    // Every copy of one user must agree on the path, also one started where the session's
    // variables were lost (sudo -u, a terminal multiplexer): the runtime folder when it is
    // usable, else the user's standard runtime folder, and only then the shared temp folder.
    if (!runtimeDir.isEmpty() && runtimeDir.startsWith('/')) {
        struct stat st {};
        if (::stat(runtimeDir.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return DecodeFileName(runtimeDir) + QStringLiteral("/Velodra.lock");
    }
    const QByteArray standard = runUser + '/' + QByteArray::number(uid);
    if (OwnFolder(standard, uid)) return DecodeFileName(standard) + QStringLiteral("/Velodra.lock");
    // The temp folder is shared by all users: the user id keeps the copies of each user apart.
    return QDir::tempPath() + QStringLiteral("/Velodra-%1.lock").arg(uid);
}

TInstanceLock::TInstanceLock(const QString& path) {
    const QByteArray bytes = EncodeFileName(path);
    // Close-on-exec: a program started from here (the mixer) must not keep the lock alive
    // after this process ends. No following of links planted in a shared temp folder.
    Fd = open(bytes.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (Fd < 0) return;
    // In a shared folder another user may have made the file first: a lock on a file that is
    // not our own regular file would let that user keep us from running (or be no lock at all).
    struct stat st {};
    if (fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        close(Fd);
        Fd = -1;
        return;
    }
    int rc;
    do {
        rc = flock(Fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        Ok = errno != EWOULDBLOCK;
        close(Fd);
        Fd = -1;
    }
}

TInstanceLock::~TInstanceLock() {
    if (Fd >= 0) close(Fd);
}

namespace {
TInstanceLock*& ProcessLock() {
    static TInstanceLock* lock = nullptr;
    return lock;
}
} // namespace

bool AcquireInstanceLock() {
    if (!ProcessLock()) ProcessLock() = new TInstanceLock();
    return ProcessLock()->Acquired();
}

void ReleaseInstanceLock() {
    delete std::exchange(ProcessLock(), nullptr);
}
