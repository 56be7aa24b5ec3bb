#pragma once
// The sound device off the UI thread. One worker owns the device and runs the commands in the
// order they were given; the device may wait there (on GStreamer, on a slow disk) while the
// window goes on. What comes back (a file opened or not, a play that failed, the end of a track,
// the change to a queued file) arrives as signals on the thread that made the engine. What the
// display asks many times a second (mode, position, length) comes from the last reading the
// worker published, never from the device itself.
//
// Every file the device is given carries a ticket chosen by the caller. Results name their
// ticket, so a caller that has moved on since can tell a late answer from a current one, and a
// command for a ticket the device has just left (it went on with the queued file a moment before
// the command came) opens that file again first, so the command acts on the file the caller
// knows.
#include "platform/Clock.h"
#include "platform/MediaDevice.h"
#include "player/UMediaInfo.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class QThread;
class TEngineWorker;

using TTicket = std::uint64_t; // 0: no file

struct TOpenResult {
    TTicket Ticket = 0;
    QString Error;   // empty: the file is open, stopped at its start
    TMediaInfo Info; // read from the file; the device's length where the stream states none
};

// The device went on with the queued file (Failed false: it plays now), or found it can't be
// played once the previous one had played out (Failed: the device stands at the end of From).
struct TChangeResult {
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
    };
    TPlaybackEngine(std::unique_ptr<TMediaDevice> device, std::shared_ptr<TClock> clock,
                    TOptions options);
    ~TPlaybackEngine() override;
    TPlaybackEngine(const TPlaybackEngine&) = delete;
    TPlaybackEngine& operator=(const TPlaybackEngine&) = delete;

    // --- commands; none waits
    // Closes what was open and opens path; the answer is Opened.
    void Open(TTicket ticket, const QString& path);
    void Close();
    // Plays the file from fromMs (0: its start), with next (when not 0) queued to follow it
    // without a gap. A failure is PlayFailed.
    void Play(TTicket ticket, std::int32_t fromMs, TTicket next, const QString& nextPath);
    void Pause(TTicket ticket);
    // Goes on from the pause; plays from the start when the device can't.
    void Resume(TTicket ticket);
    // Stopped at the start of the file.
    void Stop(TTicket ticket);
    // Moves to ms; plays on from there when play, and pauses there when pause.
    void Seek(TTicket ticket, std::int32_t ms, bool play, bool pause);
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

signals:
    void Opened(const TOpenResult& result);
    void PlayFailed(TTicket ticket, const QString& error);
    // The file played out by itself (its end, or the point past which nothing plays); the
    // device stands there.
    void Ended(TTicket ticket);
    void Changed(const TChangeResult& result);

private:
    friend class TEngineWorker;
    struct TReading {
        TMPModes Mode = TMPModes::mpNotReady;
        std::int32_t PositionMs = 0;
        std::uint32_t ReadAt = 0; // clock tick of the reading
        std::int32_t LengthMs = 0;
        std::uint64_t Done = 0; // commands run when it was taken
    };
    // What a command changes at once, before the worker has run it.
    void Expect(TMPModes mode, std::int32_t positionMs);
    template <typename F> void Post(F&& fn);

    std::shared_ptr<TClock> Clock;
    TEngineWorker* Worker = nullptr;
    QThread* Thread = nullptr;
    mutable std::mutex Mutex; // guards Reading, Expected and Done
    TReading Reading;         // the worker's
    TReading Expected;        // the caller's, from the commands given
    std::uint64_t Given = 0;  // commands given (caller's thread only)
    std::uint64_t Done = 0;
    double VolumeLevel = 1.0;
};

Q_DECLARE_METATYPE(TOpenResult)
Q_DECLARE_METATYPE(TChangeResult)
Q_DECLARE_METATYPE(TTicket)
