#pragma once
// One copy of the program per user: an exclusive flock on Velodra.lock in $XDG_RUNTIME_DIR when
// that is an existing folder, else in /run/user/UID when that is the user's own, else a per-user
// file in the temp folder. The lock goes with the process, also when it dies.
#include <QByteArray>
#include <QString>
#include <sys/types.h>

class TInstanceLock {
public:
    // Tries to take the lock at path without waiting.
    explicit TInstanceLock(const QString& path = DefaultPath());
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // False only when another holder has the lock. A lock file that cannot be made at all does
    // not keep the program from running.
    bool Acquired() const { return Ok; }
    // True when the lock is really held (a file could be made and locked).
    bool Held() const { return Fd >= 0; }

    static QString DefaultPath();
    // The same from the given $XDG_RUNTIME_DIR, user id and the folder of the users' runtime
    // folders (for tests).
    static QString DefaultPath(const QByteArray& runtimeDir, uid_t uid, const QByteArray& runUser);

private:
    int Fd = -1;
    bool Ok = true;
};

// Takes the program's lock until it is released or the process ends; false when another copy
// runs.
bool AcquireInstanceLock();
// Lets it go: a closing copy that something keeps from ending never holds a later start off.
void ReleaseInstanceLock();
