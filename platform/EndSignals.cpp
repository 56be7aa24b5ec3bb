#include "platform/EndSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

// Written by the handler, read by the notifier; -1 while no watcher lives.
int PipeFds[2] = {-1, -1};

void OnEndSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a call for the event loop; a lost byte changes nothing.
    [[maybe_unused]] const ssize_t n = ::write(PipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

TEndSignals::TEndSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), OnSignal(std::move(onSignal)) {
    if (PipeFds[0] >= 0 || ::pipe2(PipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        PipeFds[0] = PipeFds[1] = -1;
        return; // the signals keep their default action
    }
    Notifier = new QSocketNotifier(PipeFds[0], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TEndSignals::ReadPipe);
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : Signals)
        ::sigaction(s, &action, nullptr);
}

TEndSignals::~TEndSignals() {
    if (!Notifier) return;
    for (const int s : Signals)
        ::signal(s, SIG_DFL);
    delete Notifier;
    ::close(PipeFds[0]);
    ::close(PipeFds[1]);
    PipeFds[0] = PipeFds[1] = -1;
}

void TEndSignals::ReadPipe() {
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(PipeFds[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            OnSignal(bytes[i]);
}
