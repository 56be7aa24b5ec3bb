#pragma once
// The protocol between the session and the sound device's worker: what the device has been asked
// to hold and do, and which of its answers still count. The session decides (which file, whether
// it plays); this asks the device, one whole request at a time, and passes on only the answers
// of the request now standing.
//
// States and the transitions between them:
//   Idle     --Open-->    Opening            (a file asked for; its answer is Opened)
//   Opening  --Opened-->  Stopped | Playing  (as the request asked) | Idle (it failed)
//   Stopped  --Play-->    Playing  --Pause--> Paused --Resume--> Playing
//   Playing  --Ended-->   Stopped            (it played out; the device stands at its end)
//   Playing  --Changed--> Playing            (the device went on with the queued file: taken
//                                             over by TakeOver)
//   any      --Stop / Seek / Unload-->       Stopped / as asked / Idle
//   any      --Close-->   Closed             (for good: nothing is asked or passed on after it)
// Kept after every transition: the ticket is the file the device holds or opens; an answer is
// passed on only when it names the ticket and the generation of the request standing, so a
// change the device made that a later request undid is never taken over.
#include "player/PlaybackEngine.h"

#include <QObject>
#include <QString>
#include <cstdint>

enum class TDeviceState { Idle, Opening, Stopped, Playing, Paused, Closed };

class TPlaybackControl : public QObject {
    Q_OBJECT

public:
    explicit TPlaybackControl(TPlaybackEngine& engine, QObject* parent = nullptr);

    TDeviceState State() const { return Now; }
    bool IsOpen() const {
        return Now == TDeviceState::Stopped || Now == TDeviceState::Playing ||
               Now == TDeviceState::Paused;
    }
    bool Opening() const { return Now == TDeviceState::Opening; }
    bool Closed() const { return Now == TDeviceState::Closed; }
    // The file the device holds or opens (0: none), and its path.
    TTicket Ticket() const { return Current; }
    const QString& Path() const { return CurrentPath; }
    // The file queued to follow it (0: none).
    TTicket QueuedTicket() const { return Next; }
    // The open under way plays once it is open: asked with it, or asked for meanwhile.
    bool PlaysWhenOpen() const { return Now == TDeviceState::Opening && (OpenPlays || PlayLater); }
    // A play asked for while the file opened, not started yet (paused meanwhile), and from where.
    bool PlayPending() const { return PlayLater; }
    std::int32_t PlayFromMs() const { return PlayLaterFromMs; }

    // --- requests; none waits
    // Opens path, starting at startMs (the saved place; not in its last seconds) and playing
    // from there when play.
    void Open(const QString& path, std::int32_t startMs = 0, bool play = false);
    // Nothing open.
    void Unload();
    // While opening: plays from fromMs once open (or not, after Cancel).
    void PlayWhenOpen(std::int32_t fromMs);
    void CancelPlayWhenOpen() { PlayLater = false; }
    // The open file plays from fromMs, with the planned next file queued.
    void Play(std::int32_t fromMs);
    void Pause();
    void Resume();
    void Stop();
    // Moves to ms; playing or paused it goes on (or waits) there.
    void Seek(std::int32_t ms);
    // The next file to follow the open one (empty: none); sent now when send, else with the
    // next play.
    void PlanNext(const QString& path, bool send);
    // Forgets the next file; the device is told when it has it.
    void DropNext();
    // The device went on with the queued file (or found it can't be played): its ticket is the
    // device's file now, playing (or, failed, nothing is open).
    void TakeOver(const TChangeResult& change);
    // For good: the device is closed and no answer is passed on after this.
    void Close();

    // The states' rule, for the session's state (playing, paused or neither): playing, the
    // device plays or opens to play; paused, it is paused (or opens, or waits to start);
    // stopped, it neither plays nor is paused. An open under way is set right when it answers.
    bool Agrees(bool playing, bool paused) const;

signals:
    // The answers of the request standing, each after the state has moved.
    void Opened(const TOpenResult& result);
    void PlayFailed(const QString& error);
    void Ended();
    void Changed(const TChangeResult& result);

private:
    bool Standing(TTicket ticket, TGeneration generation) const;
    void OnOpened(const TOpenResult& r);
    void OnPlayFailed(TTicket ticket, const QString& error, TGeneration generation);
    void OnEnded(TTicket ticket, TGeneration generation);
    void OnChanged(const TChangeResult& r);

    TPlaybackEngine& Engine;
    TDeviceState Now = TDeviceState::Idle;
    TTicket LastTicket = 0;
    TTicket Current = 0;
    QString CurrentPath;
    bool OpenPlays = false; // the open under way was asked to play
    bool PlayLater = false; // ...or a play was asked for while it opened
    std::int32_t PlayLaterFromMs = 0;
    TTicket Next = 0;
    QString NextPath;
};
