#include "player/PlaybackControl.h"

#include <utility>

TPlaybackControl::TPlaybackControl(TPlaybackEngine& engine, QObject* parent)
    : QObject(parent), Engine(engine) {
    connect(&Engine, &TPlaybackEngine::Opened, this, &TPlaybackControl::OnOpened);
    connect(&Engine, &TPlaybackEngine::PlayFailed, this, &TPlaybackControl::OnPlayFailed);
    connect(&Engine, &TPlaybackEngine::Ended, this, &TPlaybackControl::OnEnded);
    connect(&Engine, &TPlaybackEngine::Changed, this, &TPlaybackControl::OnChanged);
}

// ---- requests

void TPlaybackControl::Open(const QString& path, std::int32_t startMs, bool play) {
    if (Closed()) return;
    Now = TDeviceState::Opening;
    Current = ++LastTicket;
    CurrentPath = path;
    OpenPlays = play;
    PlayLater = false;
    Next = 0; // the device forgets it with the open
    Engine.Open({Current, path, startMs, play});
}

void TPlaybackControl::Unload() {
    if (Closed()) return;
    Now = TDeviceState::Idle;
    Current = 0;
    CurrentPath.clear();
    Next = 0;
    PlayLater = false;
    Engine.Close();
}

void TPlaybackControl::PlayWhenOpen(std::int32_t fromMs) {
    if (!Opening()) return;
    PlayLater = true;
    PlayLaterFromMs = fromMs;
}

void TPlaybackControl::Play(std::int32_t fromMs) {
    if (!IsOpen()) return;
    Now = TDeviceState::Playing;
    PlayLater = false;
    Engine.Play(Current, fromMs, Next, Next ? NextPath : QString());
}

void TPlaybackControl::Pause() {
    if (Now != TDeviceState::Playing) return;
    Now = TDeviceState::Paused;
    Engine.Pause(Current);
}

void TPlaybackControl::Resume() {
    if (Now != TDeviceState::Paused) return;
    Now = TDeviceState::Playing;
    Engine.Resume(Current);
}

void TPlaybackControl::Stop() {
    PlayLater = false;
    if (!IsOpen()) return;
    Now = TDeviceState::Stopped;
    Next = 0; // the device drops it with the stop
    Engine.Stop(Current);
}

void TPlaybackControl::Seek(std::int32_t ms) {
    if (!IsOpen()) return;
    const bool play = Now != TDeviceState::Stopped;
    // The queued file goes with the seek: a seek drops what the device had queued.
    Engine.Seek(Current, ms, play, Now == TDeviceState::Paused, play ? Next : 0,
                play && Next ? NextPath : QString());
    if (!play) Next = 0;
}

void TPlaybackControl::PlanNext(const QString& path, bool send) {
    if (Closed()) return;
    Next = path.isEmpty() ? 0 : ++LastTicket;
    NextPath = path;
    if (send && Next != 0 && IsOpen()) Engine.Queue(Current, Next, path);
}

void TPlaybackControl::DropNext() {
    if (Next != 0 && IsOpen()) Engine.Drop(Current);
    Next = 0;
}

void TPlaybackControl::TakeOver(const TChangeResult& change) {
    Next = 0;
    PlayLater = false;
    if (change.Failed) {
        // The device stands at the end of the track before: nothing of it is left to play.
        Unload();
        CurrentPath = change.Info.FilePath;
        return;
    }
    Current = change.Ticket;
    CurrentPath = change.Info.FilePath;
}

void TPlaybackControl::Close() {
    if (Closed()) return;
    Engine.Close();
    Now = TDeviceState::Closed;
    Next = 0;
    PlayLater = false;
}

bool TPlaybackControl::Agrees(bool playing, bool paused) const {
    if (Closed()) return true;
    if (Opening()) return !playing || paused || OpenPlays || PlayLater;
    if (paused) return Now == TDeviceState::Paused || (Now == TDeviceState::Stopped && PlayLater);
    if (playing) return Now == TDeviceState::Playing;
    return Now != TDeviceState::Playing && Now != TDeviceState::Paused;
}

// ---- the device's answers: only those of the request standing count

bool TPlaybackControl::Standing(TTicket ticket, TGeneration generation) const {
    return !Closed() && ticket != 0 && ticket == Current && generation == Engine.Generation();
}

void TPlaybackControl::OnOpened(const TOpenResult& r) {
    if (!Opening() || !Standing(r.Ticket, r.Generation)) return;
    if (!r.Error.isEmpty()) {
        Now = TDeviceState::Idle;
        PlayLater = false;
    } else {
        Now = r.Playing ? TDeviceState::Playing : TDeviceState::Stopped;
    }
    emit Opened(r);
}

void TPlaybackControl::OnPlayFailed(TTicket ticket, const QString& error, TGeneration generation) {
    if (!IsOpen() || Now == TDeviceState::Stopped || !Standing(ticket, generation)) return;
    Now = TDeviceState::Stopped;
    Next = 0;
    emit PlayFailed(error);
}

void TPlaybackControl::OnEnded(TTicket ticket, TGeneration generation) {
    // Paused too: the end came before the pause.
    if ((Now != TDeviceState::Playing && Now != TDeviceState::Paused) ||
        !Standing(ticket, generation))
        return;
    Now = TDeviceState::Stopped;
    Next = 0;
    emit Ended();
}

void TPlaybackControl::OnChanged(const TChangeResult& r) {
    if ((Now != TDeviceState::Playing && Now != TDeviceState::Paused) ||
        !Standing(r.From, r.Generation))
        return;
    emit Changed(r);
}
