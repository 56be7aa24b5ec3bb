#include "player/PlaybackEngine.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

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

// Lives on the engine's thread; every member function runs there.
class TEngineWorker : public QObject {
public:
    TEngineWorker(TPlaybackEngine& front, std::unique_ptr<TMediaDevice> device,
                  std::shared_ptr<TClock> clock, TPlaybackEngine::TOptions options)
        : Front(front), Device(std::move(device)), Clock(std::move(clock)), Options(options),
          Timer(new QTimer(this)) {
        Timer->setSingleShot(true);
        connect(Timer, &QTimer::timeout, this, [this] { Poll(); });
    }

    void Open(TTicket ticket, const QString& path) {
        Forget();
        TOpenResult r{ticket, {}, {}};
        r.Info.FilePath = path;
        try {
            Device->Open(path);
            Current = ticket;
            CurrentPath = path;
            ReadStreamInfo(r.Info);
            if (r.Info.Duration <= 0) r.Info.Duration = Device->Length();
            Duration = r.Info.Duration;
        } catch (const EMediaDeviceError& e) {
            r.Error = DeviceText(e);
        }
        Tell([r](TPlaybackEngine& f) { emit f.Opened(r); });
    }

    void Close() {
        Forget();
        Device->Close();
    }

    void Play(TTicket ticket, std::int32_t fromMs, TTicket next, const QString& nextPath) {
        if (!Hold(ticket)) return Failed(ticket, NoDeviceOpenText());
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

    void Stop(TTicket ticket) {
        WatchEnd = false;
        if (!Hold(ticket)) return;
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

    void Seek(TTicket ticket, std::int32_t ms, bool play, bool pause) {
        WatchEnd = false;
        if (!Hold(ticket)) return;
        try {
            Device->Seek(ms);
            if (UndoHeardChange()) Device->Seek(ms);
            // The seek dropped the queued file: it goes to the device again for the new play.
            ChangeExpected = false;
            if (!play) return;
            QueueOnDevice(Next, NextPath);
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
            Tell([t = Current](TPlaybackEngine& f) { emit f.Ended(t); });
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

private:
    template <typename F> void Tell(F&& fn) {
        QMetaObject::invokeMethod(
            &Front, [&f = Front, fn = std::forward<F>(fn)] { fn(f); }, Qt::QueuedConnection);
    }

    void Failed(TTicket ticket, const QString& error) {
        WatchEnd = false;
        Tell([ticket, error](TPlaybackEngine& f) { emit f.PlayFailed(ticket, error); });
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

    // The device holds ticket's file: it may have gone on with the queued file a moment before
    // the caller, who knows nothing of it yet, sent this command; then that file is opened
    // again.
    bool Hold(TTicket ticket) {
        if (ticket != 0 && ticket == Current) return true;
        if (ticket == 0 || ticket != Previous) return false;
        const QString path = PreviousPath;
        const std::int32_t duration = PreviousDuration;
        Forget();
        try {
            Device->Open(path);
        } catch (const EMediaDeviceError&) {
            return false;
        }
        Current = ticket;
        CurrentPath = path;
        Duration = duration;
        return true;
    }

    void TakeChange() {
        const TTrackChange c = Device->TakeTrackChange();
        if (c.Kind == TTrackChange::None) return;
        TChangeResult r{Current, Next, c.Kind == TTrackChange::Failed, c.Error, NextInfo};
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

    // Over when the device stopped at its end, or (no file queued, a while after the play) when
    // the position stands still within a second of the stated duration: a stated duration
    // longer than the audio would otherwise leave it silent there.
    bool TrackEnded() {
        const bool guardOver =
            PlayStartTick != 0 &&
            static_cast<std::uint32_t>(Clock->TickCount() - PlayStartTick) > kPlayGuardMs;
        if (ChangeExpected) return guardOver && Device->AtEnd();
        const std::int32_t p = Device->Position();
        bool ended = false;
        if (guardOver) {
            const bool stalledNearEnd =
                p == LastPosition && static_cast<std::int64_t>(Duration) - p < kEndSlackMs;
            ended = stalledNearEnd || Device->AtEnd();
        }
        if (!ended) LastPosition = p;
        return ended;
    }

    void Publish() {
        TPlaybackEngine::TReading r;
        r.Mode = Device->Mode();
        r.PositionMs = Device->Position();
        r.LengthMs = Device->Length();
        r.ReadAt = Clock->TickCount();
        r.Done = Done;
        {
            const std::lock_guard lock(Front.Mutex);
            Front.Reading = r;
            Front.Done = Done;
        }
        Schedule(r);
    }

    // Often near the end (the end rule and the change to the next file), seldom elsewhere, not
    // at all while nothing plays.
    void Schedule(const TPlaybackEngine::TReading& r) {
        if (Options.NearEndPollMs <= 0) return;
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

    TPlaybackEngine& Front;
    std::unique_ptr<TMediaDevice> Device;
    std::shared_ptr<TClock> Clock;
    TPlaybackEngine::TOptions Options;
    QTimer* Timer;
    std::uint64_t Done = 0;

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
    : Clock(clock ? clock : SystemClock()) {
    if (!options.OwnThread) options.NearEndPollMs = 0;
    Worker = new TEngineWorker(*this, std::move(device), Clock, options);
    if (options.OwnThread) {
        Thread = new QThread;
        Thread->setObjectName(QStringLiteral("sound device"));
        Worker->moveToThread(Thread);
        Thread->start();
    }
}

TPlaybackEngine::~TPlaybackEngine() {
    if (!Thread) {
        Worker->Shutdown();
        delete Worker;
        return;
    }
    QMetaObject::invokeMethod(
        Worker, [w = Worker] { w->Shutdown(); }, Qt::QueuedConnection);
    Thread->quit();
    // A device stuck on a stalled disk must not keep the program from ending: it is left behind.
    if (!Thread->wait(5000)) return;
    delete Worker;
    delete Thread;
}

template <typename F> void TPlaybackEngine::Post(F&& fn) {
    {
        const std::lock_guard lock(Mutex);
        ++Given;
    }
    QMetaObject::invokeMethod(
        Worker,
        [w = Worker, fn = std::forward<F>(fn)] {
            fn(*w);
            w->CommandDone();
        },
        Qt::QueuedConnection);
}

void TPlaybackEngine::Expect(TMPModes mode, std::int32_t positionMs) {
    const std::lock_guard lock(Mutex);
    Expected.Mode = mode;
    Expected.PositionMs = positionMs;
    Expected.ReadAt = Clock->TickCount();
    Expected.LengthMs = Reading.LengthMs;
    Expected.Done = Given + 1; // the command about to be given
}

void TPlaybackEngine::Open(TTicket ticket, const QString& path) {
    Expect(TMPModes::mpStopped, 0);
    Post([ticket, path](TEngineWorker& w) { w.Open(ticket, path); });
}

void TPlaybackEngine::Close() {
    Expect(TMPModes::mpNotReady, 0);
    Post([](TEngineWorker& w) { w.Close(); });
}

void TPlaybackEngine::Play(TTicket ticket, std::int32_t fromMs, TTicket next,
                           const QString& nextPath) {
    Expect(TMPModes::mpPlaying, std::max(fromMs, 0));
    Post([=](TEngineWorker& w) { w.Play(ticket, fromMs, next, nextPath); });
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
    Post([ticket](TEngineWorker& w) { w.Stop(ticket); });
}

void TPlaybackEngine::Seek(TTicket ticket, std::int32_t ms, bool play, bool pause) {
    Expect(pause  ? TMPModes::mpPaused
           : play ? TMPModes::mpPlaying
                  : TMPModes::mpStopped,
           std::max(ms, 0));
    Post([=](TEngineWorker& w) { w.Seek(ticket, ms, play, pause); });
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
    QMetaObject::invokeMethod(
        Worker, [w = Worker] { w->Poll(); }, Qt::QueuedConnection);
}

TMPModes TPlaybackEngine::Mode() const {
    const std::lock_guard lock(Mutex);
    return Reading.Done >= Expected.Done ? Reading.Mode : Expected.Mode;
}

std::int32_t TPlaybackEngine::Position() const {
    const std::lock_guard lock(Mutex);
    const TReading& r = Reading.Done >= Expected.Done ? Reading : Expected;
    if (r.Mode != TMPModes::mpPlaying) return r.PositionMs;
    // Played on since the reading at the clock's pace, up to the end.
    const std::int64_t since = static_cast<std::uint32_t>(Clock->TickCount() - r.ReadAt);
    std::int64_t p = r.PositionMs + since;
    if (r.LengthMs > 0) p = std::min<std::int64_t>(p, std::max(r.LengthMs, r.PositionMs));
    return static_cast<std::int32_t>(std::min<std::int64_t>(p, INT32_MAX));
}

bool TPlaybackEngine::Busy() const {
    const std::lock_guard lock(Mutex);
    return Done < Given;
}
