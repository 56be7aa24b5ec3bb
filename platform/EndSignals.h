#pragma once
// The signals that end a session (SIGTERM at shutdown and log-out, SIGHUP when the terminal
// goes, SIGINT from Ctrl+C) turned into a call on the thread that made the watcher, so that the
// program can close as the user closes it. The handler only writes the signal's number to a
// pipe (async-signal-safe); a socket notifier reads it in the event loop.
#include <QObject>
#include <functional>

class QSocketNotifier;

class TEndSignals : public QObject {
    Q_OBJECT

public:
    // One watcher at a time; while it lives the three signals call onSignal(signal number).
    explicit TEndSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TEndSignals() override; // the signals' default actions come back
    TEndSignals(const TEndSignals&) = delete;
    TEndSignals& operator=(const TEndSignals&) = delete;

private:
    void ReadPipe();

    std::function<void(int)> OnSignal;
    QSocketNotifier* Notifier = nullptr;
};
