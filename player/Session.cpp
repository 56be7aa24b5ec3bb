#include "player/Session.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/LibraryKeeper.h"
#include "player/LibrarySnapshot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

// After a start from the snapshot: the watches and the check follow the resumed file's open by
// this much, or the start by the longer time when nothing opens.
constexpr int kKeepAfterOpenMs = 500;
constexpr int kKeepAfterStartMs = 3000;

// Files the advance passes over in a row before it gives up.
constexpr int kSkipLimit = 10;

QString OpenError(const QString& path, const QString& reason) {
    return TSession::tr("Unable to open %1.\r\r%2")
        .arg(QuotedStr(path), reason.isEmpty() ? UnknownErrorText() : reason);
}

enum : unsigned { kLibrary = 1, kFolder = 2, kFile = 4, kInfo = 8, kPicture = 16 };

// Whether folder is root or below it.
bool IsUnder(const QString& folder, const QString& root) {
    if (root.isEmpty()) return false;
    const QString r = QDir::cleanPath(root);
    return (QDir::cleanPath(folder) + QLatin1Char('/'))
        .startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'));
}

} // namespace

// What a watcher has been told: the changes of a command are announced against it.
struct TSession::TBatch {
    TSession& S;
    explicit TBatch(TSession& s) : S(s) {
        if (S.BatchDepth++ == 0) S.Shown = S.Now();
    }
    ~TBatch() {
        if (--S.BatchDepth == 0) S.Announce();
    }
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;
};

// A scan, known by its id. What its thread works on is shared with the thread, so that a close
// can leave a scan stuck in a hung mount behind.
struct TSession::TScanJob {
    struct TWork {
        QString Root;
        TAudioTypes Types;
        bool NaturalOrder = false;
        TScanControl Control;
        std::optional<TLibrary> Result;
        QString Error;
    };
    std::uint64_t Id = 0;
    TAfterScan After = TAfterScan::Default;
    std::shared_ptr<TWork> Work = std::make_shared<TWork>();
    std::unique_ptr<TBackgroundJob> Thread;
    ~TScanJob() {
        Work->Control.Abort = true;
        Thread.reset();
    }
    bool Quiet() const { return After == TAfterScan::Keep; }
};

TSession::TSession(TFormPlayer& player, QObject* parent)
    : QObject(parent), FormPlayer(player), Engine(player.Engine()), Control(player.Engine()) {
    Rng.seed(static_cast<std::mt19937::result_type>(QDateTime::currentMSecsSinceEpoch()));
    connect(&Control, &TPlaybackControl::Opened, this, &TSession::Opened);
    connect(&Control, &TPlaybackControl::PlayFailed, this, &TSession::PlayFailed);
    connect(&Control, &TPlaybackControl::Ended, this, &TSession::Ended);
    connect(&Control, &TPlaybackControl::Changed, this, &TSession::Changed);
    LibKeeper = std::make_unique<TLibraryKeeper>();
    SnapshotPath = LibrarySnapshotPath();
    connect(LibKeeper.get(), &TLibraryKeeper::DiskChanged, this, [this] { CheckLibrary(); });
    connect(LibKeeper.get(), &TLibraryKeeper::RootAppeared, this, &TSession::RootAppeared);
    connect(this, &TSession::InfoChanged, this, [this] {
        if (KeepPending) QTimer::singleShot(kKeepAfterOpenMs, this, &TSession::KeepLibrary);
    });
    // Beyond the watch budget only the way to the current folder is watched.
    connect(this, &TSession::FolderChanged, this, [this] {
        if (LibKeeper->OverBudget()) Rewatch();
    });
    // A file gone from disk stays listed while it plays; once left, the check takes it out.
    connect(this, &TSession::FileChanged, this, [this] {
        const QString now = Library().FolderKey(CurFolderIndex) + QLatin1Char('/') +
                            Library().FilesInFolder(CurFolderIndex).value(CurFileIndex);
        if (Ghost.isEmpty() || now == Ghost) return;
        Ghost.clear();
        CheckLibrary();
    });
    States = DecideStates();
    Shown = Now();
}

TSession::~TSession() {
    Scan.reset(); // stops a running scan, leaving it behind when it does not stop at once
    LibKeeper.reset();
}

// ---- announcing

TSession::TShown TSession::Now() const {
    return {PlayState,      RepeatOn,       RandomOn,      IncludeWmaOn,
            IncludeOtherOn, ReplayGainMode, NaturalOrderOn};
}

template <typename F> void TSession::Guard(F&& fn) {
    if (Control.Closed()) return; // after the close nothing acts
    const TBatch batch(*this);
    try {
        fn();
    } catch (const EVelodraError& e) {
        Fail(e.Message);
    }
}

void TSession::Announce() {
    // Commands that watchers run while they are told join this announcement.
    ++BatchDepth;
    for (int round = 0; round < 16; ++round) {
        // The next file is decided again whenever what it depends on changed.
        if (PlayState != TPlayState::Stopped) PlanNextFile(true);
        const TShown now = Now();
        const unsigned dirty = std::exchange(Dirty, 0u);
        const TCommandStates states = DecideStates();
        const bool statesChanged = states != States;
        States = states;
        std::vector<std::function<void()>> events = std::exchange(Events, {});
        const bool options =
            now.Repeat != Shown.Repeat || now.Random != Shown.Random ||
            now.IncludeWma != Shown.IncludeWma || now.IncludeOther != Shown.IncludeOther ||
            now.ReplayGain != Shown.ReplayGain || now.NaturalOrder != Shown.NaturalOrder;
        const bool state = now.State != Shown.State;
        Shown = now;
        if (!dirty && !options && !state && !statesChanged && events.empty()) break;
        if (dirty & kLibrary) emit LibraryChanged();
        if (dirty & kFolder) emit FolderChanged();
        if (dirty & kFile) emit FileChanged();
        if (dirty & kInfo) emit InfoChanged();
        if (options) emit OptionsChanged();
        if (state) emit StateChanged();
        if (statesChanged) emit CommandStatesChanged();
        if (dirty & kPicture) emit PictureChanged();
        for (const auto& e : events)
            e();
    }
    --BatchDepth;
}

void TSession::Fail(const QString& message) {
    // A failure of the start-up sequence brings the window back, as the user would look for it.
    if (std::exchange(StartingUp, false)) Events.push_back([this] { emit RaiseRequested(); });
    Events.push_back([message] { ReportError(message); });
}

TCommandStates TSession::DecideStates() const {
    TCommandInput in;
    in.FolderIndex = CurFolderIndex;
    in.FileIndex = CurFileIndex;
    in.FolderCount = Library().FolderCount();
    in.FileCount = FileCount();
    in.Random = RandomOn;
    in.Repeat = RepeatOn;
    in.PlayerIsPlaying = IsPlaying();
    in.AllPlayed = PlayedKeys.Size() >= Library().TotalFileCount();
    in.edFolderTag = FolderListTag;
    in.edFileTag = FileListTag;
    in.Last = States;
    return DecideCommandStates(in);
}

// ---- what it holds

int TSession::FileCount() const {
    return Library().FileCountInFolder(CurFolderIndex);
}

std::int32_t TSession::Position() const {
    return Control.IsOpen() ? Engine.Position() : 0;
}

QString TSession::BrokenRule() const {
    if (Control.Closed()) return {};
    const QString path = Library().FilePath(CurFolderIndex, CurFileIndex);
    if (!Control.Agrees(IsPlaying(), IsPaused()))
        return QStringLiteral("the session is %1, the device's state %2")
            .arg(static_cast<int>(PlayState))
            .arg(static_cast<int>(Control.State()));
    if ((Control.IsOpen() || Control.Opening()) && Control.Path() != path)
        return QStringLiteral("the device holds %1, the session %2").arg(Control.Path(), path);
    if (IsPlaying() && path.isEmpty()) return QStringLiteral("plays with no file selected");
    if (!path.isEmpty() && Info().FilePath != path)
        return QStringLiteral("the information is of %1, the file %2").arg(Info().FilePath, path);
    return {};
}

QString TSession::FileDisplayName(int folder, int file) const {
    const QStringList& names = Library().FilesInFolder(folder);
    if (file < 0 || file >= names.size()) return {};
    const QString& name = names.at(file);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return DisplayFileName(CleanDisplayName(dot > 0 ? name.left(dot) : name));
}

QString TSession::TitleText() const {
    const QString title = Info().Title.trimmed();
    return title.isEmpty() ? FileDisplayName(CurFolderIndex, CurFileIndex) : title;
}

std::pair<std::int32_t, std::int32_t> TSession::ScanCounts() const {
    if (!Scan) return LastScanCounts;
    return {Scan->Work->Control.Folders.load(), Scan->Work->Control.Files.load()};
}

TResume TSession::Place() const {
    if (Home) return Home->Place;
    if (!Loaded || StartingUp) return Saved;
    TResume p;
    p.Folder = CurFolderIndex;
    p.File = CurFileIndex;
    p.FolderKey = Library().FolderKey(CurFolderIndex);
    p.FileName = Library().FilesInFolder(CurFolderIndex).value(CurFileIndex);
    p.PositionMs = FileOpen() ? Position() : 0;
    p.Playing = IsPlaying();
    return p;
}

QString TSession::PlaceRoot() const {
    return Home ? Home->Root : Library().RootFolder;
}

// ---- commands

bool TSession::Run(TCommand command) {
    bool ran = false;
    Guard([&] {
        UserCommand();
        const TCommandStates s = DecideStates();
        switch (command) {
        case TCommand::Play:
            if ((ran = s.Play)) Play();
            break;
        case TCommand::Pause:
            if ((ran = s.Pause)) PauseResume();
            break;
        case TCommand::Stop:
            if ((ran = s.Stop)) Stop();
            break;
        case TCommand::PrevFolder:
            if ((ran = s.PrevFolder)) ChangeFolder(CurFolderIndex - 1, true);
            break;
        case TCommand::PrevFile:
            if ((ran = s.PrevFile)) PrevFile();
            break;
        case TCommand::NextFile:
            if ((ran = s.NextFile)) MoveNext();
            break;
        case TCommand::NextFolder:
            if ((ran = s.NextFolder)) ChangeFolder(CurFolderIndex + 1, true);
            break;
        }
    });
    return ran;
}

void TSession::SelectFolder(int folder) {
    Guard([&] {
        UserCommand();
        ChangeFolder(folder, true);
    });
}

void TSession::SelectFile(int file) {
    Guard([&] {
        UserCommand();
        ChangeFile(file);
    });
}

void TSession::SelectPlace(int folder, int file) {
    Guard([&] {
        UserCommand();
        if (folder != CurFolderIndex) ChangeFolder(folder, false);
        ChangeFile(file);
    });
}

void TSession::SetRepeat(bool on) {
    Guard([&] { RepeatOn = on; });
}

void TSession::SetRandom(bool on) {
    Guard([&] {
        if (RandomOn == on) return;
        RandomOn = on;
        if (!on) return;
        // Random order starts afresh; a file that plays already counts as played.
        PlayedKeys.Clear();
        if (IsPlaying()) PlayedKeys.Insert(CurFolderIndex, CurFileIndex);
    });
}

void TSession::SetIncludeWma(bool on) {
    Guard([&] {
        if (std::exchange(IncludeWmaOn, on) != on) RescanForOptions();
    });
}

void TSession::SetIncludeOther(bool on) {
    Guard([&] {
        if (std::exchange(IncludeOtherOn, on) != on) RescanForOptions();
    });
}

void TSession::RescanForOptions() {
    // Before the start the options only say what the first scan takes.
    if (!Loaded || Home) return;
    BeginScan(Library().RootFolder, TAfterScan::Keep);
}

void TSession::SetNaturalOrder(bool on) {
    Guard([&] {
        if (NaturalOrderOn == on) return;
        NaturalOrderOn = on;
        if (Library().NaturalOrder != on) Reorder();
    });
}

void TSession::Reorder() {
    TLibrary old = std::exchange(FormPlayer.Library, Library().Resorted(NaturalOrderOn));
    // The same files at new places: the selection, the history and what comes next follow them
    // by name, and the open file plays on.
    QHash<QString, int> folderAt;
    for (int f = 0; f < Library().FolderCount(); ++f)
        folderAt.insert(Library().Folders().at(f), f);
    const auto moved = [&](int folder, int file) -> std::pair<int, int> {
        const int f = folderAt.value(old.Folders().value(folder), -1);
        const QStringList& names = old.FilesInFolder(folder);
        if (f < 0 || file < 0 || file >= names.size()) return {f, -1};
        return {f, static_cast<int>(Library().FilesInFolder(f).indexOf(names.at(file)))};
    };
    TPlayedKeys played;
    for (int f = 0; f < old.FolderCount(); ++f) {
        if (PlayedKeys.CountInFolder(f) == 0) continue;
        for (int i = 0; i < old.FileCountInFolder(f); ++i) {
            if (!PlayedKeys.Contains(f, i)) continue;
            const auto [nf, ni] = moved(f, i);
            played.Insert(nf, ni);
        }
    }
    PlayedKeys = std::move(played);
    const auto [folder, file] = CurFileIndex >= 0
                                    ? Library().Find(old.FilePath(CurFolderIndex, CurFileIndex))
                                    : moved(CurFolderIndex, -1);
    CurFolderIndex = folder;
    CurFileIndex = file;
    PlannedValid = false;
    SnapshotDirty = true;
    Dirty |= kLibrary | kFolder | kFile | kInfo;
}

void TSession::SetReplayGain(int mode) {
    Guard([&] {
        mode = std::clamp(mode, 0, 2);
        if (mode == ReplayGainMode) return;
        ReplayGainMode = mode;
        Engine.SetReplayGain(mode);
    });
}

void TSession::SetListDropped(bool folderList, bool dropped) {
    Guard([&] { (folderList ? FolderListTag : FileListTag) = dropped ? -1 : 0; });
}

void TSession::SetVolume(double volume) {
    Guard([&] {
        Engine.SetVolume(volume);
        Events.push_back([this] { emit VolumeChanged(); });
    });
}

void TSession::SetShownPicture(const QString& path) {
    Guard([&] {
        if (Picture == path) return;
        Picture = path;
        Dirty |= kPicture;
    });
}

void TSession::Seek(std::int32_t ms) {
    Guard([&] {
        if (!Control.IsOpen()) return;
        // Playing or paused, it goes on (or waits) there.
        Control.Seek(ms);
        Events.push_back([this, at = Engine.Position()] { emit PositionMoved(at); });
    });
}

void TSession::OpenFolder(const QString& path) {
    Guard([&] {
        if (!IsDirectory(path)) throw EVelodraError(tr("%1 is not a folder.").arg(QuotedStr(path)));
        PlayAfterScan.clear();
        BeginScan(path, TAfterScan::Default);
    });
}

QString TSession::RefusalOf(const QString& path) const {
    const TAudioTypes types{.Wma = IncludeWmaOn, .Other = IncludeOtherOn};
    if (IsAudioName(path, types)) return {};
    if (LeftOutTypes(path, types).Wma)
        return tr("%1 is a WMA file: turn on \"Includes WMA\" to play it.").arg(QuotedStr(path));
    if (LeftOutTypes(path, types).Other)
        return tr("%1 is a FLAC, Ogg, Opus, M4A or WAV file: turn on \"Includes Other "
                  "Formats\" to play it.")
            .arg(QuotedStr(path));
    return tr("%1 is not an audio file.").arg(QuotedStr(path));
}

void TSession::OpenPath(const QString& path) {
    Guard([&] {
        UserCommand();
        if (IsDirectory(path)) {
            PlayAfterScan.clear();
            return BeginScan(path, TAfterScan::Default);
        }
        if (!IsExistingFile(path))
            throw EVelodraError(tr("%1 doesn't exist.").arg(QuotedStr(path)));
        if (const QString refusal = RefusalOf(path); !refusal.isEmpty())
            throw EVelodraError(refusal);
        PlayFile(path);
    });
}

void TSession::PlayFile(const QString& path) {
    const auto [folder, file] = Library().Find(path);
    if (folder < 0) {
        const QString dir = QFileInfo(path).absolutePath();
        if (Home && IsUnder(dir, Home->Root) && IsDirectory(Home->Root)) {
            // Back from a visit into the library.
            SetRootFolder(Home->Root);
            Saved = Home->Place;
            Home.reset();
            if (StartFromSnapshot(Library().RootFolder, path)) return;
            PlayAfterScan = path;
            BeginScan(Library().RootFolder, TAfterScan::Default);
            return;
        }
        if (Loaded && !Home && IsUnder(dir, Library().RootFolder)) {
            // A folder new to the library: the check reads it and the folders above it.
            QStringList keys;
            QString prefix = Library().RootFolder;
            while (prefix.endsWith(QLatin1Char('/')))
                prefix.chop(1);
            for (QString key = QLatin1Char('.') + QDir::cleanPath(dir).mid(prefix.size());
                 !key.isEmpty(); key.truncate(std::max<qsizetype>(key.lastIndexOf('/'), 0)))
                keys.append(key);
            CheckLibrary(keys);
            PlayAfterCheck = path;
            return;
        }
        VisitFolderOf(path);
        return;
    }
    ChangeFolder(folder, false);
    ChangeFile(file);
    Play();
}

void TSession::HandOver(const std::optional<QString>& argument) {
    Guard([&] {
        UserCommand();
        Events.push_back([this] { emit RaiseRequested(); });
        if (!argument) return;
        // A second start sends an absolute name; a relative one names nothing here.
        const bool absolute = QDir::isAbsolutePath(*argument);
        if (absolute && IsExistingFile(*argument) && !IsDirectory(*argument)) {
            if (const QString refusal = RefusalOf(*argument); !refusal.isEmpty())
                throw EVelodraError(refusal);
            return PlayFile(*argument);
        }
        if (absolute && IsDirectory(*argument)) {
            PlayAfterScan.clear();
            return BeginScan(*argument, TAfterScan::Default);
        }
        Events.push_back([this] { emit Beep(); });
        Fail(tr("Invalid folder: ") + ShortenedForDisplay(*argument));
    });
}

void TSession::StartUp(const TResume& resume, const std::optional<QString>& argument) {
    Guard([&] {
        if (StartedUp) return;
        StartedUp = true;
        Saved = resume;
        if (argument) {
            if (IsDirectory(*argument)) {
                SetRootFolder(*argument);
                // Another library: the place is not its; whether it played still counts.
                Saved.Folder = -1;
                Saved.FolderKey.clear();
            } else if (IsExistingFile(*argument) && RefusalOf(*argument).isEmpty()) {
                // A file in the saved root is found there once it is in; a file elsewhere is
                // visited, and the library stays for the next start. Without a library its
                // folder becomes the root.
                const QString root = Library().RootFolder;
                const QString folder = QFileInfo(*argument).absolutePath();
                if (root.isEmpty()) {
                    SetRootFolder(folder);
                } else if (!IsUnder(folder, root)) {
                    VisitFolderOf(*argument);
                    return;
                }
                PlayAfterScan = *argument;
                Saved = {};
            } else {
                Events.push_back([this] { emit Beep(); });
                const QString refusal =
                    IsExistingFile(*argument) && !IsDirectory(*argument)
                        ? RefusalOf(*argument)
                        : tr("Invalid folder: ") + ShortenedForDisplay(*argument);
                Events.push_back([refusal] { ReportError(refusal); });
            }
        }
        const QString root = Library().RootFolder;
        if (!IsDirectory(root)) {
            if (!root.isEmpty()) RootMissing();
            return;
        }
        StartingUp = true;
        if (StartFromSnapshot(root, PlayAfterScan)) return;
        BeginScan(root, TAfterScan::Resume);
    });
}

void TSession::AbortScan() {
    if (Scan) Scan->Work->Control.Abort = true;
}

void TSession::WindowActivated() {
    if (LibKeeper->OverBudget()) CheckLibrary();
}

void TSession::Shutdown() {
    PendingScan.reset();
    Scan.reset();
    LibKeeper->Shutdown();
    if (SnapshotDirty) SaveLibrary();
    Control.Close();
}

// ---- the commands' bodies

void TSession::Play(std::int32_t fromMs) {
    if (IsPlaying()) Stop();
    if (CurFolderIndex < 0 || CurFileIndex < 0) return;
    if (Control.Opening()) {
        // Still opening: it plays once it is open.
        Control.PlayWhenOpen(fromMs);
        PlayState = TPlayState::Playing;
        return;
    }
    if (!Control.IsOpen()) {
        throw EVelodraError(
            tr("Unable to play %1.\r\r%2").arg(QuotedStr(Info().FilePath), NoDeviceOpenText()));
    }
    StartPlaying(fromMs);
}

void TSession::StartPlaying(std::int32_t fromMs) {
    PlayState = TPlayState::Playing;
    // The next file goes to the device with the play: a short track is read to its end at once.
    PlayEffects(false);
    Control.Play(fromMs);
}

void TSession::PlayEffects(bool queueNext) {
    ++PlayCount;
    if (RandomOn) PlayedKeys.Insert(CurFolderIndex, CurFileIndex);
    PlanNextFile(queueNext);
    Events.push_back([this] { emit PlayStarted(); });
}

void TSession::PauseResume() {
    if (PlayState == TPlayState::Playing) {
        PlayState = TPlayState::Paused;
        Control.Pause();
    } else if (PlayState == TPlayState::Paused) {
        PlayState = TPlayState::Playing;
        if (Control.IsOpen() && Control.PlayPending()) {
            // Paused before it was open: it starts now, as a play does.
            StartPlaying(Control.PlayFromMs());
            return;
        }
        Control.Resume();
    }
}

void TSession::Stop() {
    PlayState = TPlayState::Stopped;
    PlannedValid = false;
    Control.Stop();
}

void TSession::PrevFile() {
    if (CurFileIndex > 0) {
        ChangeFile(CurFileIndex - 1);
        return;
    }
    // The last file of the folder before: that folder's first file is never opened on the way.
    if (!DecideStates().PrevFolder) return;
    ChangeFolder(CurFolderIndex - 1, false);
    ChangeFile(FileCount() - 1);
}

void TSession::ChangeFolder(int folder, bool openFile) {
    if (folder == CurFolderIndex || folder < -1 || folder >= Library().FolderCount()) return;
    CurFolderIndex = folder;
    CurFileIndex = -1;
    Dirty |= kFolder | kFile;
    if (!openFile) return;
    const int count = FileCount();
    ChangeFile(count == 0 ? -1 : (RandomOn ? RandomBelow(count) : 0));
}

void TSession::ChangeFile(int file) {
    if (file == CurFileIndex) return;
    CurFileIndex = file;
    Dirty |= kFile;
    if (TakingOver) {
        // The device went on with this file by itself: it plays already.
        TakeOver(*std::exchange(TakingOver, nullptr));
        return;
    }
    const bool wasPlaying = IsPlaying();
    PlannedValid = false; // decided for a file, or a library, that is left now
    PlayState = TPlayState::Stopped;
    OpenSelected();
    if (wasPlaying) Play();
}

void TSession::OpenSelected(std::int32_t startMs, bool play) {
    FormPlayer.MediaInfo = {};
    const QString path = Library().FilePath(CurFolderIndex, CurFileIndex);
    if (path.isEmpty()) {
        // Close what was open, so that no stale file plays on under an empty display.
        Control.Unload();
        throw EVelodraError(tr("List index out of bounds (%1)").arg(CurFileIndex));
    }
    FormPlayer.MediaInfo.FilePath = path;
    Control.Open(path, startMs, play);
}

void TSession::TakeOver(const TChangeResult& change) {
    Control.TakeOver(change);
    FormPlayer.MediaInfo = change.Info;
    Dirty |= kInfo;
}

void TSession::OpenFailed(const QString& path, const QString& reason) {
    Control.CancelPlayWhenOpen();
    // A file the advance came to is passed over, unless the advance has failed ten times in a
    // row or once for every file (a drive gone): then it ends with the report as a choice does.
    const int limit = std::min(kSkipLimit, Library().TotalFileCount());
    if (!Advancing || PlayState != TPlayState::Playing || ++SkipRun >= limit) {
        PlayState = TPlayState::Stopped;
        Advancing = false;
        SkipRun = 0;
        throw EVelodraError(OpenError(path, reason));
    }
    const QString text =
        tr("Skipped %1: %2").arg(QuotedStr(path), reason.isEmpty() ? UnknownErrorText() : reason);
    Events.push_back([this, text] { emit Skipped(text); });
    // Counted as played, so that random order comes to the end of its cycle.
    if (RandomOn) PlayedKeys.Insert(CurFolderIndex, CurFileIndex);
    const TTicket before = Control.Ticket();
    EndOfTrack(MoveNext(), before);
}

void TSession::UserCommand() {
    // What the user chose is reported as chosen: only the advance passes files over.
    Advancing = false;
    SkipRun = 0;
}

int TSession::RandomBelow(int n) {
    return ::RandomBelow(Rng, n);
}

// ---- moving on

TSession::TMoveBasis TSession::MoveBasis() const {
    return {.Folder = CurFolderIndex,
            .File = CurFileIndex,
            .Random = RandomOn,
            .Repeat = RepeatOn,
            .Played = PlayedKeys.Size(),
            .Play = PlayCount};
}

TNextFile TSession::DecideNextFile() {
    const TNextFileInput in{.Library = Library(),
                            .Folder = CurFolderIndex,
                            .File = CurFileIndex,
                            .Random = RandomOn,
                            .Repeat = RepeatOn,
                            .Played = PlayedKeys};
    return ChooseNextFile(in, Rng);
}

// The decision kept for the state now, else a new one; either way it is used up.
TNextFile TSession::TakePlannedMove() {
    const bool held = PlannedValid && PlannedBasis == MoveBasis();
    PlannedValid = false;
    return held ? Planned : DecideNextFile();
}

void TSession::PlanNextFile(bool queue) {
    if (!Control.IsOpen() || PlayCount == 0) return;
    const TMoveBasis basis = MoveBasis();
    if (PlannedValid && PlannedBasis == basis) return;
    DropNext();
    Planned = DecideNextFile();
    PlannedBasis = basis;
    PlannedValid = true;
    Control.PlanNext(Planned.Kind == TNextKind::None
                         ? QString()
                         : Library().FilePath(Planned.Folder, Planned.File),
                     queue);
}

void TSession::DropNext() {
    Control.DropNext();
}

bool TSession::MoveNext() {
    return MoveTo(TakePlannedMove());
}

bool TSession::MoveTo(const TNextFile& next) {
    DropNext(); // what comes next is opened here
    ApplyNextFile(next);
    return next.Kind != TNextKind::None;
}

void TSession::ApplyNextFile(const TNextFile& next) {
    switch (next.Kind) {
    case TNextKind::None:
        return;
    case TNextKind::NextFile:
        ChangeFile(next.File);
        return;
    case TNextKind::NextFolder:
        ChangeFolder(next.Folder, true);
        return;
    case TNextKind::Restart:
    case TNextKind::Random:
        break;
    }
    if (next.ClearPlayed) PlayedKeys.Clear();
    // The folder change opens nothing: the file is chosen, not the folder's first.
    const bool random = next.Kind == TNextKind::Random;
    if (!random || (Library().FolderCount() > 1 && next.Folder != CurFolderIndex))
        ChangeFolder(next.Folder, false);
    ChangeFile(next.File);
}

void TSession::EndOfTrack(bool moved, TTicket before) {
    if (moved) {
        // The same file again (one file with Repeat): it starts over.
        if (Control.Ticket() == before) Play();
        return;
    }
    Stop();
    Events.push_back([this] { emit ReachedEnd(); });
}

// ---- the device's answers

void TSession::Opened(const TOpenResult& r) {
    Guard([&] {
        Dirty |= kInfo;
        if (!r.Error.isEmpty()) return OpenFailed(Info().FilePath, r.Error);
        FormPlayer.MediaInfo = r.Info;
        StartingUp = false;
        SkipRun = 0;
        if (r.Playing) {
            // Asked to play with the open (the resumed file): set right when a Stop or a Pause
            // came meanwhile.
            if (PlayState == TPlayState::Stopped) return Control.Stop();
            PlayEffects(true);
            if (PlayState == TPlayState::Paused) Control.Pause();
            return;
        }
        if (r.StartMs > 0) Events.push_back([this, at = r.StartMs] { emit PositionMoved(at); });
        if (Control.PlayPending() && PlayState == TPlayState::Playing)
            StartPlaying(Control.PlayFromMs());
    });
}

void TSession::PlayFailed(const QString& error) {
    Guard([&] {
        if (PlayState == TPlayState::Stopped) return;
        PlannedValid = false;
        // Where the advance came to it, it is passed over as a file that can't be opened.
        if (Advancing && PlayState == TPlayState::Playing)
            return OpenFailed(Info().FilePath, error);
        PlayState = TPlayState::Stopped;
        throw EVelodraError(tr("Unable to play %1.\r\r%2").arg(QuotedStr(Info().FilePath), error));
    });
}

void TSession::Ended() {
    Guard([&] {
        if (PlayState == TPlayState::Stopped) return;
        // Paused a moment too late: it moves on all the same, and waits paused there.
        const bool paused = IsPaused();
        Advancing = true;
        const TTicket before = Control.Ticket();
        EndOfTrack(MoveNext(), before);
        if (paused && PlayState == TPlayState::Playing) PauseResume();
    });
}

// The device went on with the queued file (or found it can't be played) when the track ended:
// the move it was decided for happens now, as at the end of a track, but the file plays
// already and is taken over instead of opened and started.
void TSession::Changed(const TChangeResult& r) {
    Guard([&] {
        if (PlayState == TPlayState::Stopped) return;
        Advancing = true;
        const TTicket queued = Control.QueuedTicket();
        const TNextFile next = TakePlannedMove();
        const bool planned = next.Kind != TNextKind::None && r.Ticket == queued &&
                             Library().FilePath(next.Folder, next.File) == r.Info.FilePath;
        if (!planned) {
            // Queued by a decision that changed too late to be dropped: back to the track that
            // ended, and on as the decision now says.
            if (!r.Failed) OpenSelected();
            EndOfTrack(MoveTo(next), Control.Ticket());
            return;
        }
        TakingOver = &r;
        struct TClear {
            const TChangeResult*& P;
            ~TClear() { P = nullptr; }
        } clear{TakingOver};
        MoveTo(next);
        // The same file again (one file with Repeat): the selection did not change.
        if (TakingOver) TakeOver(*std::exchange(TakingOver, nullptr));
        if (r.Failed) return OpenFailed(r.Info.FilePath, r.Error);
        SkipRun = 0;
        PlayEffects(true);
    });
}

// ---- the scan

void TSession::BeginScan(const QString& root, TAfterScan after) {
    if (Scan) {
        // The running scan gives way; its result is not used.
        Scan->Work->Control.Abort = true;
        PendingScan = {root, after};
        return;
    }
    Scan = std::make_unique<TScanJob>();
    TScanJob& job = *Scan;
    job.Id = ++LastScanId;
    job.After = after;
    job.Work->Root = root;
    job.Work->Types = Types();
    job.Work->NaturalOrder = NaturalOrderOn;
    job.Work->Control.FileAccepted = ScanHook;
    job.Thread = std::make_unique<TBackgroundJob>(
        this,
        [work = job.Work] {
            work->Error = TFormPlayer::ScanError([&] {
                work->Result =
                    TFormPlayer::Scan(work->Root, work->Types, work->Control, work->NaturalOrder);
            });
        },
        [this, id = job.Id] { ScanDone(id); });
    if (!job.Quiet()) Events.push_back([this] { emit ScanStarted(); });
}

void TSession::ScanDone(std::uint64_t id) {
    Guard([&] {
        if (!Scan || Scan->Id != id) return;
        const std::unique_ptr<TScanJob> done = std::move(Scan);
        done->Thread.reset(); // it has ended: joined
        TScanJob::TWork& work = *done->Work;
        LastScanCounts = {work.Control.Folders.load(), work.Control.Files.load()};
        if (!done->Quiet()) Events.push_back([this] { emit ScanEnded(); });
        if (PendingScan) {
            const auto [root, after] = *std::exchange(PendingScan, std::nullopt);
            BeginScan(root, after);
            return;
        }
        const QString target = std::exchange(PlayAfterScan, QString());
        if (!work.Error.isEmpty()) {
            if (done->After == TAfterScan::Keep && !IsDirectory(work.Root)) return RootMissing();
            throw EVelodraError(work.Error);
        }
        if (!work.Result) {
            StartingUp = false;
            return; // aborted before it found anything: the library stays
        }
        ++LibraryGeneration;
        // The order was switched while it scanned.
        if (work.Result->NaturalOrder != NaturalOrderOn)
            *work.Result = work.Result->Resorted(NaturalOrderOn);
        if (done->After == TAfterScan::Keep) {
            FoldLibrary(std::move(*work.Result));
            SaveLibrary();
            Rewatch();
            return;
        }
        if (done->After == TAfterScan::Visit) {
            LibKeeper->Unwatch();
        } else {
            // A scan by hand replaces the library, ends a visit and the wait for a root.
            Home.reset();
            Loaded = true;
            ToldMissing = false;
            LibKeeper->StopWaiting();
        }
        FormPlayer.Library = std::move(*work.Result);
        if (done->After != TAfterScan::Visit) {
            SaveLibrary();
            Rewatch();
        }
        LibraryLoaded(target.isEmpty() ? done->After : TAfterScan::Default);
        if (target.isEmpty()) return;
        StartingUp = false;
        if (Library().Find(target).first < 0)
            throw EVelodraError(tr("%1 doesn't exist.").arg(QuotedStr(target)));
        PlayFile(target);
    });
}

// The saved place in the library now in: by name, else by the indices.
std::pair<int, int> TSession::ResumedPlace() const {
    if (!Saved.FolderKey.isEmpty()) {
        const auto [folder, file] = Library().FindByName(Saved.FolderKey, Saved.FileName);
        if (file >= 0) return {folder, file};
    }
    if (Saved.Folder >= 0 && Saved.File >= 0 && Saved.Folder < Library().FolderCount() &&
        Saved.File < Library().FileCountInFolder(Saved.Folder))
        return {Saved.Folder, Saved.File};
    return {-1, -1};
}

void TSession::LibraryLoaded(TAfterScan after) {
    PlayedKeys.Clear();
    CurFolderIndex = -1;
    CurFileIndex = -1;
    Dirty |= kLibrary | kFolder | kFile;
    const int folders = Library().FolderCount();
    const auto [savedFolder, savedFile] = ResumedPlace();
    const bool resume = after == TAfterScan::Resume && savedFolder >= 0;
    if (resume) {
        // The saved place goes with the resumed file's own open, so that no other file's open
        // takes it over.
        ChangeFolder(savedFolder, false);
        CurFileIndex = savedFile;
        Dirty |= kFile;
        PlannedValid = false;
        PlayState = Saved.Playing ? TPlayState::Playing : TPlayState::Stopped;
        OpenSelected(Saved.PositionMs, Saved.Playing);
        return;
    }
    const bool wasPlaying = IsPlaying();
    ChangeFolder(folders == 0 ? -1 : (RandomOn && folders >= 2 ? RandomBelow(folders) : 0), true);
    if (after == TAfterScan::Resume) {
        StartingUp = false;
        if (Saved.Playing && !wasPlaying) Play();
    }
}

// ---- the library kept in step with the disk

bool TSession::StartFromSnapshot(const QString& root, const QString& target) {
    std::optional<TLibrary> library = LoadSnapshot(SnapshotPath, root, Types());
    if (!library) return false;
    // The order was switched since it was written.
    if (library->NaturalOrder != NaturalOrderOn) *library = library->Resorted(NaturalOrderOn);
    PlayAfterScan.clear();
    ++LibraryGeneration;
    FormPlayer.Library = std::move(*library);
    Loaded = true;
    LastScanCounts = {Library().FolderCount(), Library().TotalFileCount()};
    LibraryLoaded(target.isEmpty() ? TAfterScan::Resume : TAfterScan::Default);
    // The watches and the check wait until the resumed file is open (or a few seconds): the
    // title and the sound come first.
    KeepPending = true;
    QTimer::singleShot(kKeepAfterStartMs, this, &TSession::KeepLibrary);
    if (!target.isEmpty()) {
        StartingUp = false;
        PlayFile(target);
    }
    return true;
}

void TSession::KeepLibrary() {
    if (!std::exchange(KeepPending, false)) return;
    Rewatch();
    // A check already asked for (a file to fold in) covers the start's.
    if (!LibKeeper->Checking()) CheckLibrary();
}

void TSession::CheckLibrary(const QStringList& forceKeys) {
    // A scan running settles everything; a visit is not kept.
    if (!Loaded || Home || Scan) return;
    LibKeeper->Check(Library(), Types(), forceKeys,
                     [this, generation = LibraryGeneration](TFormPlayer::TCheckReport report,
                                                            const QString& error) {
                         LibraryChecked(generation, std::move(report), error);
                     });
}

void TSession::LibraryChecked(std::uint64_t generation, TFormPlayer::TCheckReport report,
                              const QString& error) {
    Guard([&] {
        const QString target = std::exchange(PlayAfterCheck, QString());
        // Made for a library that has been replaced since.
        if (generation != LibraryGeneration || Home) return;
        if (!error.isEmpty()) {
            if (!IsDirectory(Library().RootFolder)) return RootMissing();
            throw EVelodraError(error);
        }
        if (report.NeedsScan) {
            PlayAfterScan = target;
            return BeginScan(Library().RootFolder, TAfterScan::Keep);
        }
        if (report.Library && report.SameFiles) {
            // Nothing to show: the new times are kept, and saved at the close. (A root that
            // holds the cache would otherwise write, see and check again without end.)
            const bool newDirs = report.Library->Tree().size() != Library().Tree().size();
            FormPlayer.Library.SetTree(report.Library->Tree());
            SnapshotDirty = true;
            if (newDirs) Rewatch();
        } else if (report.Library) {
            ++LibraryGeneration;
            FoldLibrary(std::move(*report.Library));
            SaveLibrary();
            Rewatch();
        }
        if (target.isEmpty()) return;
        if (Library().Find(target).first < 0)
            throw EVelodraError(tr("%1 doesn't exist.").arg(QuotedStr(target)));
        PlayFile(target);
    });
}

// The library as the disk has it now, the selection carried by name. A file that plays (or
// opens) but is gone from disk stays listed until it is left, so it plays to its end and the
// advance goes on from it.
void TSession::FoldLibrary(TLibrary library) {
    const QString folderKey = Library().FolderKey(CurFolderIndex);
    const QString fileName = Library().FilesInFolder(CurFolderIndex).value(CurFileIndex);
    auto [folder, file] = library.FindByName(folderKey, fileName);
    if (file < 0 && !fileName.isEmpty() && IsPlaying()) {
        Ghost = folderKey + QLatin1Char('/') + fileName;
        library = library.WithFile(Ghost);
        std::tie(folder, file) = library.FindByName(folderKey, fileName);
    }
    const int oldFolder = CurFolderIndex, oldFile = CurFileIndex;
    FormPlayer.Library = std::move(library);
    SnapshotDirty = true;
    // The history and the decided next file name places of the library before.
    PlayedKeys.Clear();
    if (RandomOn && IsPlaying() && file >= 0) PlayedKeys.Insert(folder, file);
    PlannedValid = false;
    Dirty |= kLibrary | kFolder | kFile;
    if (folder >= 0 && (file >= 0 || fileName.isEmpty())) {
        CurFolderIndex = folder;
        CurFileIndex = file;
        return;
    }
    // What was chosen is gone and was not open: the place nearest to it.
    CurFolderIndex = -1;
    CurFileIndex = -1;
    const int folders = Library().FolderCount();
    if (folder >= 0) {
        CurFolderIndex = folder;
        const int count = FileCount();
        if (count > 0) ChangeFile(std::min(oldFile, count - 1));
    } else if (folders > 0) {
        ChangeFolder(std::clamp(oldFolder, 0, folders - 1), true);
    }
}

void TSession::SaveLibrary() {
    if (!Loaded || Home) return;
    SnapshotDirty = !SaveSnapshot(SnapshotPath, Library(), Types());
}

void TSession::Rewatch() {
    if (!Loaded || Home) return LibKeeper->Unwatch();
    LibKeeper->Watch(Library(), Library().FolderKey(CurFolderIndex));
}

void TSession::RootMissing() {
    LibKeeper->Unwatch();
    if (!LibKeeper->Waiting()) LibKeeper->WaitForRoot(PlaceRoot());
    // At the start nothing is in yet: the saved place stays what the close saves.
    if (std::exchange(ToldMissing, true)) return;
    const QString text = tr("The music folder %1 is not available. Velodra goes on when it is "
                            "back.")
                             .arg(QuotedStr(PlaceRoot()));
    Events.push_back([this, text] { emit Told(text); });
}

void TSession::RootAppeared() {
    Guard([&] {
        ToldMissing = false;
        if (Loaded) {
            Rewatch();
            return CheckLibrary();
        }
        const QString root = Library().RootFolder;
        StartingUp = true;
        if (StartFromSnapshot(root, QString())) return;
        BeginScan(root, TAfterScan::Resume);
    });
}

void TSession::VisitFolderOf(const QString& path) {
    // The library's place is what a close saves while the visit lasts.
    if (!Home && (Loaded || !Library().RootFolder.isEmpty())) Home = THome{PlaceRoot(), Place()};
    StartingUp = false;
    PlayAfterScan = path;
    BeginScan(QFileInfo(path).absolutePath(), TAfterScan::Visit);
}
