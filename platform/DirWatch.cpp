#include "platform/DirWatch.h"

#include <QSocketNotifier>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
}

TDirWatch::TDirWatch(QObject* parent) : QObject(parent) {}

TDirWatch::~TDirWatch() {
    Close();
}

void TDirWatch::Watch(QByteArrayList dirs) {
    Close();
    Fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (Fd < 0) return;
    Notifier = new QSocketNotifier(Fd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
        alignas(inotify_event) char buf[16384];
        bool any = false;
        while (read(Fd, buf, sizeof buf) > 0)
            any = true;
        if (any) emit Changed();
    });
    Stop = std::make_shared<std::atomic<bool>>(false);
    Added = std::make_shared<std::atomic<int>>(0);
    Adder = std::thread([fd = Fd, stop = Stop, added = Added, dirs = std::move(dirs)] {
        for (const QByteArray& dir : dirs) {
            if (*stop) return;
            if (inotify_add_watch(fd, dir.constData(), kEvents) >= 0) ++*added;
        }
    });
}

void TDirWatch::Clear() {
    Close();
}

void TDirWatch::Close() {
    if (Stop) *Stop = true;
    // Each add is a few microseconds: the worker stops at once.
    if (Adder.joinable()) Adder.join();
    delete Notifier;
    Notifier = nullptr;
    if (Fd >= 0) close(Fd);
    Fd = -1;
}
