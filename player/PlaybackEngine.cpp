#include "player/PlaybackEngine.h"

#include "player/SessionRules.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <utility>

namespace {

struct TReading {
    TMPModes Mode = TMPModes::mpNotReady;
    std::int32_t PositionMs = 0;
    std::uint32_t ReadAt = 0; // clock tick of the reading
    std::int32_t LengthMs = 0;
    std::uint64_t Done = 0; // commands run when it was taken
};

// A track is never over by standing still within this long after its play command...
constexpr std::uint32_t kPlayGuardMs = 5000;
// ...and counts as over when it stands still this close to its stated duration.
constexpr std::int64_t kEndSlackMs = 1000;
// Within this much of the end the worker looks often: the end rule and the change to the next
// file are decided there.
constexpr std::int32_t kNearEndMs = 2500;

QString DeviceText(const EMediaDeviceError& e) {
    return e.Message.isEmpty() ? UnknownErrorText() : e.Message;
}

} // namespace

// What the engine and its worker share: it lives as long as either, so a worker left behind
// by the engine's end never touches what has gone.
struct TEngineShared {
    std::mutex Mutex;                 // guards all below but Steps
    TPlaybackEngine* Front = nullptr; // null once the engine has gone
    TReading Reading;                 // the worker's
    TReading Expected;                // the caller's, from the commands given
    std::uint64_t Given = 0;          // commands given
    std::uint64_t Done = 0;
    std::shared_ptr<TEngineSteps> Steps; // the caller's thread only
};

// Lives on the engine's thread; every member function runs there.
class TEngineWorker : public QObject {
public:
    TEngineWorker(std::shared_ptr<TEngineShared> shared, std::unique_ptr<TMediaDevice> device,
                  std::shared_ptr<TClock> clock, TPlaybackEngine::TOptions options)
        : Shared(std::move(shared)), Device(std::move(device)), Clock(std::move(clock)),
          Options(std::move(options)), Timer(new QTimer(this)) {
        Timer->setSingleShot(true);
        connect(Timer, &QTimer::timeout, this, [this] { Poll(); });
    }

    void Open(const TOpenRequest& q, TGeneration gen) {
        Gen = gen;
        Forget();
        TOpenResult r{q.Ticket, gen, false, 0, {}, {}};
        r.Info.FilePath = q.Path;
        try {
            Device->Open(q.Path);
            Current = q.Ticket;
            CurrentPath = q.Path;
            ReadStreamInfo(r.Info);
            if (r.Info.Duration <= 0) r.Info.Duration = Device->Length();
            Duration = r.Info.Duration;
            // Where the open was asked to start, this file's own open and no other's.
            const int at = ResumePosition(q.StartMs, r.Info.Duration);
            if (at > 0) Device->Seek(at);
            r.StartMs = at;
            if (q.Play) {
                Device->Play();
                Started();
                r.Playing = true;
            }
        } catch (const EMediaDeviceError& e) {
            r.Error = DeviceText(e);
            if (Current != 0) Close();
        }
        Tell([r](TPlaybackEngine& f) { emit f.Opened(r); });
    }

    void Close(TGeneration gen) {
        Gen = gen;
        Close();
    }

    void Play(TTicket ticket, std::int32_t fromMs, TTicket next, const QString& nextPath,
              TGeneration gen) {
        Gen = gen;
        if (const QString why = Hold(ticket); !why.isEmpty()) return Failed(ticket, why);
        try {
            if (fromMs > 0) Device->Seek(fromMs);
            // Before the play: a short track is read to its end at once, too soon to queue later.
            QueueOnDevice(next, nextPath);
            Device->Play();
        } catch (const EMediaDeviceError& e) {
            return Failed(ticket, DeviceText(e));
        }
        Started();
    }

    // Pause and Resume act on whatever plays: a change the caller has not taken yet is taken
    // over paused (or resumed) all the same.
    void Pause(TTicket ticket) {
        WatchEnd = false;
        if (!Playing(ticket)) return;
        try {
            Device->Pause();
        } catch (const EMediaDeviceError&) {
        }
    }

    void Resume(TTicket ticket) {
        if (!Playing(ticket)) return Failed(ticket, NoDeviceOpenText());
        try {
            if (!Device->Resume()) {
                Device->Play();
                Started();
            }
        } catch (const EMediaDeviceError& e) {
            return Failed(ticket, DeviceText(e));
        }
        WatchEnd = true;
    }

    void Stop(TTicket ticket, TGeneration gen) {
        Gen = gen;
        WatchEnd = false;
        if (!Hold(ticket).isEmpty()) return;
        try {
            Device->Stop();
            UndoHeardChange();
            Device->Seek(0);
        } catch (const EMediaDeviceError&) {
        }
        ForgetNext();
        PlayStartTick = 0;
        LastPosition = -1;
    }

    void Seek(TTicket ticket, std::int32_t ms, bool play, bool pause, TTicket next,
              const QString& nextPath, TGeneration gen) {
        Gen = gen;
        WatchEnd = false;
        if (const QString why = Hold(ticket); !why.isEmpty()) {
            if (play) Failed(ticket, why);
            return;
        }
        try {
            Device->Seek(ms);
            if (UndoHeardChange()) Device->Seek(ms);
            // The seek dropped the queued file: it goes to the device again for the new play.
            ChangeExpected = false;
            if (!play) return;
            if (next != 0) {
                QueueOnDevice(next, nextPath);
            } else {
                QueueOnDevice(Next, NextPath);
            }
            Device->Play();
            Started();
            if (pause) {
                Device->Pause();
                WatchEnd = false;
            }
        } catch (const EMediaDeviceError& e) {
            Failed(ticket, DeviceText(e));
        }
    }

    void Queue(TTicket ticket, TTicket next, const QString& path) {
        if (ticket != Current || Current == 0) return;
        if (ChangeExpected && !Device->DropNext()) return; // taken over: its change comes
        ForgetNext();
        QueueOnDevice(next, path);
    }

    void Drop(TTicket ticket) {
        if (ticket != Current || !ChangeExpected) return;
        // Refused when the device has taken the file over: its change is reported all the same.
        if (Device->DropNext()) ForgetNext();
    }

    void SetVolume(double volume) { Device->SetVolume(volume); }
    void SetReplayGain(int mode) { Device->SetReplayGain(mode); }

    // The device's news, then the reading for the caller, then the next look.
    void Poll() {
        if (ChangeExpected) TakeChange();
        if (WatchEnd && TrackEnded()) {
            WatchEnd = false;
            Tell([t = Current, g = Gen](TPlaybackEngine& f) { emit f.Ended(t, g); });
        }
        Publish();
    }

    void CommandDone() {
        ++Done;
        Publish();
    }

    void Shutdown() {
        Timer->stop();
        Close();
    }

    void Prepare() {
        try {
            Device->Prepare();
        } catch (const std::exception&) {
            // The first open says what is wrong.
        }
    }

private:
    void Close() {
        Forget();
        Device->Close();
    }

    // To the caller's thread, unless the engine has gone meanwhile.
    template <typename F> void Tell(F&& fn) {
        if (Options.Steps) {
            Options.Steps->Answers.push_back([s = Shared, fn = std::forward<F>(fn)] {
                TPlaybackEngine* f = nullptr;
                {
                    const std::lock_guard lock(s->Mutex);
                    f = s->Front;
                }
                if (f) fn(*f);
            });
            return;
        }
        const std::lock_guard lock(Shared->Mutex);
        if (TPlaybackEngine* f = Shared->Front)
            QMetaObject::invokeMethod(
                f, [f, fn = std::forward<F>(fn)] { fn(*f); }, Qt::QueuedConnection);
    }

    void Failed(TTicket ticket, const QString& error) {
        WatchEnd = false;
        Tell([ticket, error, g = Gen](TPlaybackEngine& f) { emit f.PlayFailed(ticket, error, g); });
    }

    void Started() {
        // 0 means "not started"; a tick count that wraps to 0 just then counts as 1.
        PlayStartTick = std::max<std::uint32_t>(Clock->TickCount(), 1);
        LastPosition = -1;
        WatchEnd = true;
    }

    void Forget() {
        Current = Previous = 0;
        CurrentPath.clear();
        PreviousPath.clear();
        Duration = PreviousDuration = 0;
        ForgetNext();
        WatchEnd = false;
        PlayStartTick = 0;
        LastPosition = -1;
    }

    void ForgetNext() {
        ChangeExpected = false;
        Next = 0;
        NextPath.clear();
        NextInfo = {};
    }

    void QueueOnDevice(TTicket next, const QString& path) {
        if (next == 0 || path.isEmpty()) return;
        if (next != Next) {
            NextInfo = {};
            NextInfo.FilePath = path;
            ReadStreamInfo(NextInfo);
        }
        Next = next;
        NextPath = path;
        ChangeExpected = Device->QueueNext(path);
    }

    bool Playing(TTicket ticket) const {
        return ticket != 0 && (ticket == Current || ticket == Previous);
    }

    // Stop or Seek at the very moment the device went on with the queued file, before anyone
    // was told: the command is for the file that ended, which is opened again. True when it was.
    bool UndoHeardChange() {
        if (!ChangeExpected) return false;
        ChangeExpected = false;
        if (Device->TakeTrackChange().Kind != TTrackChange::Changed) return false;
        Device->Open(CurrentPath);
        return true;
    }

    // The device holds ticket's file (empty), else why not: it may have gone on with the
    // queued file a moment before the caller, who knows nothing of it yet, sent this command;
    // then that file is opened again, and a failure to is the open's own reason.
    QString Hold(TTicket ticket) {
        if (ticket != 0 && ticket == Current) return {};
        if (ticket == 0 || ticket != Previous) return NoDeviceOpenText();
        const QString path = PreviousPath;
        const std::int32_t duration = PreviousDuration;
        Forget();
        try {
            Device->Open(path);
        } catch (const EMediaDeviceError& e) {
            return DeviceText(e);
        }
        Current = ticket;
        CurrentPath = path;
        Duration = duration;
        return {};
    }

    void TakeChange() {
        const TTrackChange c = Device->TakeTrackChange();
        if (c.Kind == TTrackChange::None) return;
        TChangeResult r{Gen, Current, Next, c.Kind == TTrackChange::Failed, c.Error, NextInfo};
        if (r.Failed) {
            // The device stands at the end of the track that played out.
            ForgetNext();
            WatchEnd = false;
        } else {
            Previous = Current;
            PreviousPath = CurrentPath;
            PreviousDuration = Duration;
            Current = Next;
            CurrentPath = NextPath;
            if (r.Info.Duration <= 0) r.Info.Duration = Device->Length();
            Duration = r.Info.Duration;
            ForgetNext();
            Started(); // it became audible now: that is its play command
        }
        Tell([r](TPlaybackEngine& f) { emit f.Changed(r); });
    }

    // Over when the device stopped at its end (a track of any length), or (no file queued, a
    // while after the play) when the position stands still within a second of the stated
    // duration: a stated duration longer than the audio would otherwise leave it silent there.
    bool TrackEnded() {
        if (Device->AtEnd()) return true;
        if (ChangeExpected) return false;
        const bool guardOver =
            PlayStartTick != 0 &&
            static_cast<std::uint32_t>(Clock->TickCount() - PlayStartTick) > kPlayGuardMs;
        const std::int32_t p = Device->Position();
        const bool ended =
            guardOver && p == LastPosition && static_cast<std::int64_t>(Duration) - p < kEndSlackMs;
        if (!ended) LastPosition = p;
        return ended;
    }

    void Publish() {
        TReading r;
        r.Mode = Device->Mode();
        r.PositionMs = Device->Position();
        r.LengthMs = Device->Length();
        r.ReadAt = Clock->TickCount();
        r.Done = Done;
        {
            const std::lock_guard lock(Shared->Mutex);
            Shared->Reading = r;
            Shared->Done = Done;
        }
        Schedule(r);
    }

    // Often near the end (the end rule and the change to the next file), seldom elsewhere, not
    // at all while nothing plays and no end is awaited: a device that stopped at its end by
    // itself is looked at once more, which reports the end.
    void Schedule(const TReading& r) {
        if (Options.NearEndPollMs <= 0) return;
        if (WatchEnd && r.Mode != TMPModes::mpPlaying && r.Mode != TMPModes::mpPaused) {
            if (!Timer->isActive()) Timer->start(Options.NearEndPollMs);
            return;
        }
        if (r.Mode != TMPModes::mpPlaying) {
            Timer->stop();
            return;
        }
        std::int32_t end = r.LengthMs;
        if (Duration > 0 && (end <= 0 || Duration < end)) end = Duration;
        const std::int64_t left = static_cast<std::int64_t>(end) - r.PositionMs;
        const bool near = end <= 0 || left < kNearEndMs || ChangeExpected;
        const std::int64_t far = std::min<std::int64_t>(Options.FarPollMs, left - kNearEndMs);
        const int ms = near ? Options.NearEndPollMs
                            : static_cast<int>(std::max<std::int64_t>(far, Options.NearEndPollMs));
        if (!Timer->isActive() || Timer->remainingTime() > ms) Timer->start(ms);
    }

    std::shared_ptr<TEngineShared> Shared;
    std::unique_ptr<TMediaDevice> Device;
    std::shared_ptr<TClock> Clock;
    TPlaybackEngine::TOptions Options;
    QTimer* Timer;
    std::uint64_t Done = 0;
    TGeneration Gen = 0; // of the last request that decided what plays

    TTicket Current = 0; // the file the device holds
    QString CurrentPath;
    std::int32_t Duration = 0; // its stated duration, for the end rule
    TTicket Previous = 0;      // the file the device left for the queued one
    QString PreviousPath;
    std::int32_t PreviousDuration = 0;
    TTicket Next = 0; // queued to follow
    QString NextPath;
    TMediaInfo NextInfo;
    bool ChangeExpected = false; // the device took the queue: a change may be reported
    std::uint32_t PlayStartTick = 0;
    std::int32_t LastPosition = -1;
    bool WatchEnd = false;
};

TPlaybackEngine::TPlaybackEngine(std::unique_ptr<TMediaDevice> device,
                                 std::shared_ptr<TClock> clock, TOptions options)
    : Clock(clock ? clock : SystemClock()), Shared(std::make_shared<TEngineShared>()),
      Steps(options.Steps), EndWaitMs(options.EndWaitMs) {
    if (Steps) options.OwnThread = false;
    if (!options.OwnThread) options.NearEndPollMs = 0;
    Shared->Front = this;
    const bool ownThread = options.OwnThread;
    Worker = new TEngineWorker(Shared, std::move(device), Clock, std::move(options));
    if (ownThread) {
        Thread = new QThread;
        Thread->setObjectName(QStringLiteral("sound device"));
        Worker->moveToThread(Thread);
        Thread->start();
        // The media framework loads while the start reads the library.
        QMetaObject::invokeMethod(
            Worker, [w = Worker] { w->Prepare(); }, Qt::QueuedConnection);
    }
}

TPlaybackEngine::~TPlaybackEngine() {
    {
        // From here on the worker tells nobody.
        const std::lock_guard lock(Shared->Mutex);
        Shared->Front = nullptr;
    }
    if (!Thread) {
        if (Steps) Steps->Worker.clear();
        Worker->Shutdown();
        delete Worker;
        return;
    }
    // The loop ends after the shutdown, never before it: a quit from here could leave the
    // queued shutdown unrun, its timer running and the device closed on the wrong thread.
    QMetaObject::invokeMethod(
        Worker,
        [w = Worker, t = Thread] {
            w->Shutdown();
            t->quit();
        },
        Qt::QueuedConnection);
    // A device stuck on a stalled disk must not keep the program from ending: the worker is
    // left behind with what it needs (the device, the shared readings), and the process ends
    // under it.
    if (!Thread->wait(EndWaitMs)) return;
    delete Worker;
    delete Thread;
}

template <typename F> void TPlaybackEngine::Post(F&& fn) {
    {
        const std::lock_guard lock(Shared->Mutex);
        ++Shared->Given;
    }
    auto run = [w = Worker, fn = std::forward<F>(fn)] {
        fn(*w);
        w->CommandDone();
    };
    if (Steps) {
        Steps->Worker.push_back(std::move(run));
        return;
    }
    QMetaObject::invokeMethod(Worker, std::move(run), Qt::QueuedConnection);
}

void TPlaybackEngine::Expect(TMPModes mode, std::int32_t positionMs) {
    const std::lock_guard lock(Shared->Mutex);
    Shared->Expected.Mode = mode;
    Shared->Expected.PositionMs = positionMs;
    Shared->Expected.ReadAt = Clock->TickCount();
    Shared->Expected.LengthMs = Shared->Reading.LengthMs;
    Shared->Expected.Done = Shared->Given + 1; // the command about to be given
}

void TPlaybackEngine::Open(const TOpenRequest& request) {
    Expect(request.Play ? TMPModes::mpPlaying : TMPModes::mpStopped, 0);
    Post([request, g = NextGeneration()](TEngineWorker& w) { w.Open(request, g); });
}

void TPlaybackEngine::Close() {
    Expect(TMPModes::mpNotReady, 0);
    Post([g = NextGeneration()](TEngineWorker& w) { w.Close(g); });
}

void TPlaybackEngine::Play(TTicket ticket, std::int32_t fromMs, TTicket next,
                           const QString& nextPath) {
    Expect(TMPModes::mpPlaying, std::max(fromMs, 0));
    Post(
        [=, g = NextGeneration()](TEngineWorker& w) { w.Play(ticket, fromMs, next, nextPath, g); });
}

void TPlaybackEngine::Pause(TTicket ticket) {
    Expect(TMPModes::mpPaused, Position());
    Post([ticket](TEngineWorker& w) { w.Pause(ticket); });
}

void TPlaybackEngine::Resume(TTicket ticket) {
    Expect(TMPModes::mpPlaying, Position());
    Post([ticket](TEngineWorker& w) { w.Resume(ticket); });
}

void TPlaybackEngine::Stop(TTicket ticket) {
    Expect(TMPModes::mpStopped, 0);
    Post([ticket, g = NextGeneration()](TEngineWorker& w) { w.Stop(ticket, g); });
}

void TPlaybackEngine::Seek(TTicket ticket, std::int32_t ms, bool play, bool pause, TTicket next,
                           const QString& nextPath) {
    Expect(pause  ? TMPModes::mpPaused
           : play ? TMPModes::mpPlaying
                  : TMPModes::mpStopped,
           std::max(ms, 0));
    Post([=, g = NextGeneration()](TEngineWorker& w) {
        w.Seek(ticket, ms, play, pause, next, nextPath, g);
    });
}

void TPlaybackEngine::Queue(TTicket ticket, TTicket next, const QString& path) {
    Post([=](TEngineWorker& w) { w.Queue(ticket, next, path); });
}

void TPlaybackEngine::Drop(TTicket ticket) {
    Post([ticket](TEngineWorker& w) { w.Drop(ticket); });
}

void TPlaybackEngine::SetVolume(double volume) {
    VolumeLevel = std::clamp(volume, 0.0, 1.0);
    Post([v = VolumeLevel](TEngineWorker& w) { w.SetVolume(v); });
}

void TPlaybackEngine::SetReplayGain(int mode) {
    Post([mode](TEngineWorker& w) { w.SetReplayGain(mode); });
}

double TPlaybackEngine::Volume() const {
    return VolumeLevel;
}

void TPlaybackEngine::PollNow() {
    if (Steps) {
        Steps->Worker.push_back([w = Worker] { w->Poll(); });
        return;
    }
    QMetaObject::invokeMethod(
        Worker, [w = Worker] { w->Poll(); }, Qt::QueuedConnection);
}

TMPModes TPlaybackEngine::Mode() const {
    const std::lock_guard lock(Shared->Mutex);
    return Shared->Reading.Done >= Shared->Expected.Done ? Shared->Reading.Mode
                                                         : Shared->Expected.Mode;
}

std::int32_t TPlaybackEngine::Position() const {
    const std::lock_guard lock(Shared->Mutex);
    const TReading& r =
        Shared->Reading.Done >= Shared->Expected.Done ? Shared->Reading : Shared->Expected;
    if (r.Mode != TMPModes::mpPlaying) return r.PositionMs;
    // Played on since the reading at the clock's pace, up to the end.
    const std::int64_t since = static_cast<std::uint32_t>(Clock->TickCount() - r.ReadAt);
    std::int64_t p = r.PositionMs + since;
    if (r.LengthMs > 0) p = std::min<std::int64_t>(p, std::max(r.LengthMs, r.PositionMs));
    return static_cast<std::int32_t>(std::min<std::int64_t>(p, INT32_MAX));
}

bool TPlaybackEngine::Busy() const {
    const std::lock_guard lock(Shared->Mutex);
    return Shared->Done < Shared->Given;
}
