#pragma once
// The player's session: the one place that decides. It holds the library and the selection in
// it, the options that steer moving through it (Repeat, Random, the kinds of file a scan keeps),
// the random history, whether it plays, and the next file decided ahead and queued on the device.
// Every way in (keys, menus, the tool bar, the lists, the media-player interface, a second start)
// runs its commands; windows render what it announces. It draws nothing and never waits: the
// scan runs on a worker; what the device is asked and which of its answers count is the
// protocol's (player/PlaybackControl.h).
//
// Each command runs to its end first; what it changed is announced after it, once, in a fixed
// order, so a watcher never sees a state in the middle of a command (a move while playing never
// reads "Stopped").
#include "player/NextFile.h"
#include "player/PlaybackControl.h"
#include "player/PlaybackEngine.h"
#include "player/SessionRules.h"
#include "player/UFormPlayer.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <vector>

enum class TPlayState { Stopped, Playing, Paused };

// The commands whose enabled state the session decides.
enum class TCommand { Play, Pause, Stop, PrevFolder, PrevFile, NextFile, NextFolder };

// What the last run left to resume, read from the settings at start-up.
// The folder and file are found by name first, by index when the names are not there.
struct TResume {
    int Folder = -1;
    int File = -1;
    int PositionMs = 0;
    bool Playing = false;
    QString FolderKey; // "./Rock/Band"
    QString FileName;  // "01 Intro.mp3"
};

class TLibraryKeeper;

class TSession : public QObject {
    Q_OBJECT

public:
    explicit TSession(TFormPlayer& player, QObject* parent = nullptr);
    ~TSession() override;

    // --- what it holds
    TFormPlayer& Player() { return FormPlayer; }
    const TLibrary& Library() const { return FormPlayer.Library; }
    const TMediaInfo& Info() const { return FormPlayer.MediaInfo; }
    int FolderIndex() const { return CurFolderIndex; }
    int FileIndex() const { return CurFileIndex; }
    int FileCount() const; // of the selected folder
    TPlayState State() const { return PlayState; }
    bool IsPlaying() const { return PlayState != TPlayState::Stopped; } // playing or paused
    bool IsPaused() const { return PlayState == TPlayState::Paused; }
    // The selected file is open in the device (its information is in).
    bool FileOpen() const { return Control.IsOpen(); }
    // The selected file's information has been read (or its open has failed).
    bool InfoKnown() const { return !Control.Opening(); }
    bool Repeat() const { return RepeatOn; }
    bool Random() const { return RandomOn; }
    bool IncludeWma() const { return IncludeWmaOn; }
    bool IncludeOther() const { return IncludeOtherOn; }
    int ReplayGain() const { return ReplayGainMode; }
    bool NaturalOrder() const { return NaturalOrderOn; }
    const TPlayedKeys& Played() const { return PlayedKeys; }
    TCommandStates CommandStates() const { return States; }
    // The position of the open file in ms, as last known (never asks the device).
    std::int32_t Position() const;
    // The title as the display shows it: the tag's title, else the file's name as listed.
    QString TitleText() const;
    // A file's name as the file list shows it.
    QString FileDisplayName(int folder, int file) const;
    bool Scanning() const { return Scan != nullptr; }
    // The running scan's counts (folders, files), else the last one's.
    std::pair<std::int32_t, std::int32_t> ScanCounts() const;
    double Volume() const { return FormPlayer.Engine().Volume(); }
    // What the start-up was given to resume.
    const TResume& Resumed() const { return Saved; }
    // The place to save: where the user is in the library, or, while the library is not in yet
    // (the start, a root that is not there) or a visit shows another folder, the place the
    // library had.
    TResume Place() const;
    // The root to save: the library's, also during a visit.
    QString PlaceRoot() const;
    // The library's folders are watched and checked by this.
    TLibraryKeeper& Keeper() { return *LibKeeper; }
    // The snapshot file (the cache's, unless a test says otherwise).
    void SetSnapshotPath(const QString& path) { SnapshotPath = path; }
    // Called on the scanning thread after each file each scan accepts (a test's hand in it).
    void SetScanHook(std::function<void(std::int32_t)> hook) { ScanHook = std::move(hook); }
    // The file of the current file's picture for the desktop, shown or not; else empty.
    const QString& ShownPicture() const { return Picture; }

    // --- commands; none waits for the device or the disk
    // The decided commands, each only while enabled, as a key or the desktop runs it.
    bool Run(TCommand command);
    // A choice in the lists (edFolderChange, edFileChange).
    void SelectFolder(int folder);
    void SelectFile(int file);
    // A file of any folder chosen at once (the search): the folder's first file is not opened
    // on the way.
    void SelectPlace(int folder, int file);
    void SetRepeat(bool on);
    void SetRandom(bool on);
    // Either rescans behind the window, keeping the selection by name.
    void SetIncludeWma(bool on);
    void SetIncludeOther(bool on);
    // Numbers in names by their value: the library is re-sorted at once, the selection kept by
    // name and the open file playing on.
    void SetNaturalOrder(bool on);
    // 0 off, 1 track gain, 2 album gain; from the next file that opens.
    void SetReplayGain(int mode);
    // Moves the open file's position (the position bar, the desktop); ignored with none open.
    void Seek(std::int32_t ms);
    // Scans path as the new root; what plays goes on until the scan is in.
    void OpenFolder(const QString& path);
    // A folder becomes the root (as OpenFolder); an audio file the scan would keep plays: in the
    // library when it is there, else its folder becomes the root first. Anything else is
    // refused with a message and changes nothing.
    void OpenPath(const QString& path);
    // Why OpenPath would refuse an existing file (empty: it would not).
    QString RefusalOf(const QString& path) const;
    // A second start: come to the front, and open its argument when there is one.
    void HandOver(const std::optional<QString>& argument);
    // The start: the options and the root are set; scans the root and resumes as the last run
    // left off, or opens the command line's argument (absolute) instead. Once per session.
    void StartUp(const TResume& resume, const std::optional<QString>& argument = {});
    void AbortScan();
    // While a list is dropped down, its moves keep their enabled states.
    void SetListDropped(bool folderList, bool dropped);
    void SetVolume(double volume);
    void SetShownPicture(const QString& path);
    // The desktop asks the window to come to the front, or the program to end.
    void Raise() { emit RaiseRequested(); }
    void Quit() { emit QuitRequested(); }
    // The window came to the front: folders that are not watched are checked.
    void WindowActivated();
    // Checks the library against the disk behind the window.
    void CheckLibrary(const QStringList& forceKeys = {});
    // The close: the scan is stopped (and left behind when it does not stop at once), the
    // snapshot written and the device closed. Closed, the session runs no command and takes no
    // answer: nothing it holds changes after the close has saved it.
    void Shutdown();
    bool Closed() const { return Control.Closed(); }
    // The rules kept after every command and every answer, or the first one broken: the
    // device's file is the selected file; "Playing" means the device plays or opens to play,
    // "Paused" that it is paused (or has yet to start), "Stopped" that it does neither.
    QString BrokenRule() const;
    const TPlaybackControl& Device() const { return Control; }

    // --- the root as saved, before any scan (the settings set it)
    void SetRootFolder(const QString& root) { FormPlayer.Library.RootFolder = root; }

signals:
    // In this order after each command, each only when it changed:
    void LibraryChanged(); // a scan replaced the library: both lists
    void FolderChanged();  // the selected folder (and so the file list)
    void FileChanged();    // the selected file: its information follows with InfoChanged
    void InfoChanged();    // the selected file's information is in (or its open failed)
    void OptionsChanged(); // Repeat, Random, Includes WMA and Other Formats, ReplayGain, order
    void StateChanged();   // playing, paused, stopped
    void CommandStatesChanged();
    void PictureChanged();
    // ...then the events of the command, in the order they happened:
    void PlayStarted();                  // a file began to play (a command, or the next file)
    void ReachedEnd();                   // the last file ended and nothing follows
    void PositionMoved(std::int32_t ms); // moved other than by playing
    void Skipped(const QString& text);   // the advance passed over a file it could not play
    void ScanStarted();
    void ScanEnded();
    void RaiseRequested();
    void QuitRequested();
    void Beep();
    void VolumeChanged();
    void Told(const QString& text); // a word for the status line

private:
    struct TBatch;
    struct TScanJob;
    // Keep: folded in keeping the selection by name, without the loading window. Visit: a
    // folder outside the library is shown; the library stays the one to come back to.
    enum class TAfterScan { Default, Resume, Keep, Visit };
    struct THome {
        QString Root;
        TResume Place;
    };
    // What watchers were last told of.
    struct TShown {
        TPlayState State = TPlayState::Stopped;
        bool Repeat = false, Random = false, IncludeWma = false, IncludeOther = false;
        int ReplayGain = 0;
        bool NaturalOrder = false;
    };
    TShown Now() const;
    // Runs a command's body in a batch; its failure is reported once the batch is announced.
    template <typename F> void Guard(F&& fn);
    void Announce();
    void Fail(const QString& message);
    TCommandStates DecideStates() const;

    // The commands' bodies (within a batch).
    void Play(std::int32_t fromMs = 0);
    void StartPlaying(std::int32_t fromMs);
    void PlayEffects(bool queueNext); // what a play start does beyond the device
    void PauseResume();
    void Stop();
    void PrevFile();
    void ChangeFolder(int folder, bool openFile); // edFolderChange
    void ChangeFile(int file);                    // edFileChange
    void OpenSelected(std::int32_t startMs = 0, bool play = false);
    void Reorder(); // the library into the order NaturalOrderOn asks for
    void TakeOver(const TChangeResult& change);
    void OpenFailed(const QString& path, const QString& reason);
    void UserCommand();
    int RandomBelow(int n);

    // The next file, decided ahead for the state it was decided in, and queued on the device.
    struct TMoveBasis {
        int Folder = -1, File = -1;
        bool Random = false, Repeat = false;
        std::int32_t Played = 0;
        std::uint64_t Play = 0; // the play it was decided for
        bool operator==(const TMoveBasis&) const = default;
    };
    TMoveBasis MoveBasis() const;
    TNextFile DecideNextFile();
    TNextFile TakePlannedMove();
    void PlanNextFile(bool queue);
    void DropNext();
    bool MoveNext();
    bool MoveTo(const TNextFile& next);
    void ApplyNextFile(const TNextFile& next);
    void EndOfTrack(bool moved, TTicket before);

    // The device's answers that still count (the protocol drops the others).
    void Opened(const TOpenResult& r);
    void PlayFailed(const QString& error);
    void Ended();
    void Changed(const TChangeResult& r);

    void BeginScan(const QString& root, TAfterScan after);
    void PlayFile(const QString& path);
    void ScanDone(std::uint64_t id);
    void LibraryLoaded(TAfterScan after);
    std::pair<int, int> ResumedPlace() const;
    bool StartFromSnapshot(const QString& root, const QString& target);
    void LibraryChecked(std::uint64_t generation, TFormPlayer::TCheckReport report,
                        const QString& error);
    void FoldLibrary(TLibrary library);
    void SaveLibrary();
    void Rewatch();
    void RootMissing();
    void RootAppeared();
    void RescanForOptions();
    void KeepLibrary();
    void VisitFolderOf(const QString& path);
    TAudioTypes Types() const { return {.Wma = IncludeWmaOn, .Other = IncludeOtherOn}; }

    TFormPlayer& FormPlayer;
    TPlaybackEngine& Engine;

    int CurFolderIndex = -1;
    int CurFileIndex = -1;
    TPlayState PlayState = TPlayState::Stopped;
    bool RepeatOn = false;
    bool RandomOn = false;
    bool IncludeWmaOn = false;
    bool IncludeOtherOn = false;
    int ReplayGainMode = 0;
    bool NaturalOrderOn = false;
    TPlayedKeys PlayedKeys;
    std::mt19937 Rng;
    TCommandStates States;
    int FolderListTag = 0; // -1 while dropped down
    int FileListTag = 0;
    QString Picture;

    // What the device holds and is asked: the selected file's open, its play, the next file.
    TPlaybackControl Control;
    std::uint64_t PlayCount = 0; // plays started, the basis of a planned move
    bool PlannedValid = false;
    TMoveBasis PlannedBasis;
    TNextFile Planned;
    const TChangeResult* TakingOver = nullptr; // the change ChangeFile takes over, not opens

    std::unique_ptr<TScanJob> Scan;
    std::uint64_t LastScanId = 0;
    std::function<void(std::int32_t)> ScanHook;
    std::unique_ptr<TLibraryKeeper> LibKeeper;
    QString SnapshotPath;
    std::uint64_t LibraryGeneration = 0; // each replacement of the library counts
    bool Loaded = false;                 // the library (not a visit) is in
    bool SnapshotDirty = false;
    bool KeepPending = false; // the start's watches and check are still to come
    bool ToldMissing = false;
    std::optional<THome> Home; // set during a visit
    QString Ghost;             // a file gone from disk, listed while it plays on
    QString PlayAfterCheck;    // a file under the root to play once the check has found it
    std::optional<std::pair<QString, TAfterScan>> PendingScan; // asked while one ran
    std::pair<std::int32_t, std::int32_t> LastScanCounts{0, 0};
    TResume Saved;
    bool StartedUp = false;
    QString PlayAfterScan; // a file to play once the scan is in

    bool StartingUp = false; // from StartUp until the resumed file is open
    bool Advancing = false;  // the file opening was come to by the advance, not chosen
    int SkipRun = 0;         // files the advance passed over in a row

    int BatchDepth = 0;
    unsigned Dirty = 0; // what changed in this batch beyond TShown
    TShown Shown;
    std::vector<std::function<void()>> Events;
};
