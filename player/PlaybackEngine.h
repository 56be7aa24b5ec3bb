#pragma once
// The sound device off the UI thread. One worker owns the device and runs the commands in the
// order they were given; the device may wait there (on GStreamer, on a slow disk) while the
// window goes on. What comes back (a file opened or not, a play that failed, the end of a track,
// the change to a queued file) arrives as signals on the thread that made the engine. What the
// display asks many times a second (mode, position, length) comes from the last reading the
// worker published, never from the device itself.
//
// Every file the device is given carries a ticket chosen by the caller. Every request that
// decides what the device plays (open, close, play, stop, seek) starts a new generation; every
// answer names the generation it was made under, so a caller drops an answer that a later
// request has overtaken (Current). A command for a ticket the device has just left (it went on
// with the queued file a moment before the command came) opens that file again first, so the
// command acts on the file the caller knows; the change it undid is then of an older generation.
//
// The engine's end never waits long: a worker stuck in the kernel is left behind, and what it
// still refers to (the readings, the device) is its own or shared with it.
#include "platform/Clock.h"
#include "platform/MediaDevice.h"
#include "player/UMediaInfo.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class QThread;
class TEngineWorker;
struct TEngineShared;

using TTicket = std::uint64_t;     // 0: no file
using TGeneration = std::uint64_t; // the requests that decide what plays, counted

// A whole open: the file, where it starts and whether it plays from there at once.
struct TOpenRequest {
    TTicket Ticket = 0;
    QString Path;
    std::int32_t StartMs = 0; // a saved position; ignored in the last seconds of the file
    bool Play = false;
};

// The engine's two queues run by hand: the worker's requests and the answers for the caller,
// each a step a test takes in an order of its choosing.
struct TEngineSteps {
    std::deque<std::function<void()>> Worker;
    std::deque<std::function<void()>> Answers;
};

struct TOpenResult {
    TTicket Ticket = 0;
    TGeneration Generation = 0;
    bool Playing = false;     // the request asked to play, and it does
    std::int32_t StartMs = 0; // where it stands (or plays from)
    QString Error;            // empty: the file is open, stopped at its start
    TMediaInfo Info; // read from the file; the device's length where the stream states none
};

// The device went on with the queued file (Failed false: it plays now), or found it can't be
// played once the previous one had played out (Failed: the device stands at the end of From).
struct TChangeResult {
    TGeneration Generation = 0;
    TTicket From = 0;
    TTicket Ticket = 0;
    bool Failed = false;
    QString Error;
    TMediaInfo Info;
};

class TPlaybackEngine : public QObject {
    Q_OBJECT

public:
    struct TOptions {
        // The worker on a thread of its own (the program), or on the caller's thread, where its
        // commands run from the caller's event loop (tests, which settle the loop themselves).
        bool OwnThread = true;
        // How often the worker looks at a playing device: often near the end of a track (the end
        // rule and the change to the next file need it), seldom elsewhere. 0: only when
        // PollNow is called (tests that drive a clock by hand).
        int NearEndPollMs = 100;
        int FarPollMs = 1000;
        // Set: the worker's requests and the answers wait here until the test runs them.
        std::shared_ptr<TEngineSteps> Steps;
        // How long the engine's end waits for a worker busy with the device.
        int EndWaitMs = 1500;
    };
    TPlaybackEngine(std::unique_ptr<TMediaDevice> device, std::shared_ptr<TClock> clock,
                    TOptions options);
    ~TPlaybackEngine() override;
    TPlaybackEngine(const TPlaybackEngine&) = delete;
    TPlaybackEngine& operator=(const TPlaybackEngine&) = delete;

    // --- commands; none waits
    // Closes what was open and opens the request's file; the answer is Opened.
    void Open(const TOpenRequest& request);
    void Open(TTicket ticket, const QString& path) { Open(TOpenRequest{ticket, path}); }
    void Close();
    // Plays the file from fromMs (0: its start), with next (when not 0) queued to follow it
    // without a gap. A failure is PlayFailed.
    void Play(TTicket ticket, std::int32_t fromMs, TTicket next, const QString& nextPath);
    void Pause(TTicket ticket);
    // Goes on from the pause; plays from the start when the device can't.
    void Resume(TTicket ticket);
    // Stopped at the start of the file.
    void Stop(TTicket ticket);
    // Moves to ms; plays on from there when play (with next queued), and pauses there when
    // pause.
    void Seek(TTicket ticket, std::int32_t ms, bool play, bool pause, TTicket next = 0,
              const QString& nextPath = {});
    // Queues next to follow ticket, replacing what was queued; Drop forgets it.
    void Queue(TTicket ticket, TTicket next, const QString& path);
    void Drop(TTicket ticket);
    void SetVolume(double volume);
    double Volume() const;
    // 0 off, 1 track gain, 2 album gain (track gain where a file has none).
    void SetReplayGain(int mode);
    // Looks at the device now (tests; the worker does so by itself otherwise).
    void PollNow();

    // --- the last reading, extrapolated while playing
    TMPModes Mode() const;
    std::int32_t Position() const;
    // True until the worker has run every command given so far.
    bool Busy() const;
    // The generation of the last request that decided what plays; an answer of another is
    // stale.
    TGeneration Generation() const { return Gen; }

signals:
    void Opened(const TOpenResult& result);
    void PlayFailed(TTicket ticket, const QString& error, TGeneration generation);
    // The file played out by itself (its end, or the point past which nothing plays); the
    // device stands there.
    void Ended(TTicket ticket, TGeneration generation);
    void Changed(const TChangeResult& result);

private:
    friend class TEngineWorker;
    // What a command changes at once, before the worker has run it.
    void Expect(TMPModes mode, std::int32_t positionMs);
    template <typename F> void Post(F&& fn);
    TGeneration NextGeneration() { return ++Gen; }

    std::shared_ptr<TClock> Clock;
    std::shared_ptr<TEngineShared> Shared; // the readings, shared with the worker
    std::shared_ptr<TEngineSteps> Steps;
    TEngineWorker* Worker = nullptr;
    QThread* Thread = nullptr;
    int EndWaitMs = 1500;
    TGeneration Gen = 0;
    double VolumeLevel = 1.0;
};

Q_DECLARE_METATYPE(TOpenResult)
Q_DECLARE_METATYPE(TChangeResult)
Q_DECLARE_METATYPE(TTicket)
