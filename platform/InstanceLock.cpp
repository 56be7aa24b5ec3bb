#include "platform/InstanceLock.h"

#include "platform/FileName.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString TInstanceLock::DefaultPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return DecodeFileName(runtime) + QStringLiteral("/Velodra.lock");
    // The temp folder is shared by all users: the user id keeps the copies of each user apart.
    return QDir::tempPath() + QStringLiteral("/Velodra-%1.lock").arg(getuid());
}

TInstanceLock::TInstanceLock(const QString& path) {
    const QByteArray bytes = EncodeFileName(path);
    // Close-on-exec: a program started from here (the mixer) must not keep the lock alive
    // after this process ends. No following of links planted in a shared temp folder.
    Fd = open(bytes.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd < 0) return;
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

bool AcquireInstanceLock() {
    // Never released: the process holds it until it ends.
    static TInstanceLock* lock = new TInstanceLock();
    return lock->Acquired();
}
