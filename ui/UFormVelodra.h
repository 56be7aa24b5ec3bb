#pragma once
// The main window: the two lists, the display, the commands, the timer, the tray icon. Its
// state is its own; tests reach it through State(), the rules it decides with (ui/Rules.h,
// player/NextFile.h) and its controls, found by their object names.
#include "player/NextFile.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>

class QAction;
class QImage;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TFolderPicture;
class TFormLoading;
class TFormPlayer;
struct TCommandInput;
struct TCommandStates;
struct TTrackChange;

namespace Ui {
class TFormVelodra;
}

// The window's state: its fields, and what State() hands out as a copy (for tests and
// diagnostics).
struct TWindowState {
    QString BaseCaption;
    QString IniFileName;
    int CurFolderIndex = -1;
    int CurFileIndex = -1;
    int SavedFolderIndex = -1;
    int SavedFileIndex = -1;
    int SavedPosition = 0; // ms into the saved file
    bool WasPlaying = false;
    bool Minimized = false;
    bool WatchForEnd = false;
    QString TitleText;
    int TitleScrollPos = -1;
    int FullHeight = 0; // the full layout's client height
    // The controls' Tag slots.
    int TmrMainTag = 0;
    int edFolderTag = 0;
    int edFileTag = 0;
    int ActPauseTag = 0;
    int LblPositionTag = 0;
    int LblModeTag = 0;
    int TrayFrame = 0; // ilIcons' Tag
    bool StartUpDone = false;
};

class TFormVelodra : public QWidget, private TWindowState {
    Q_OBJECT

public:
    explicit TFormVelodra(QWidget* parent = nullptr);
    ~TFormVelodra() override;
    // The player is made by the caller, after this window, and must outlive it until the close
    // sequence has run. The window makes the loading window that shows the player's scans.
    void SetFormPlayer(TFormPlayer* player);

    // Seams: where the folder browser and the command line come from.
    using TBrowseFolder =
        std::function<QString(QWidget* owner, const QString& text, const QString& start)>;
    void SetBrowseFolder(TBrowseFolder browse) { BrowseFolder = std::move(browse); }
    void SetCommandLine(const QStringList& args) { CommandLine = args; } // after the program name

    // The close sequence when the session ends (a termination signal): as the user's close, but
    // a failed save goes to the standard error stream, not to a message box nobody answers.
    void EndSession();
    // The session manager's save request: the settings as the close would write them; the
    // program goes on (the log-out may be cancelled).
    void SaveSession();

    TWindowState State() const { return *this; }
    const TPlayedKeys& Played() const { return PlayedKeys; }

    // Moves to the next file (sequential or random order, Repeat); false when none follows.
    bool MoveNext();
    // The main timer's tick.
    void TmrMainTimer();
    // The Play command's update handler: gathers, decides (ui/Rules.h), applies what changed.
    void UpdateCommandStates();
    // True when a left press at this client point drags the window.
    bool DragsWindow(const QPoint& clientPos) const;

    // The notification-area icon.
    void AddTrayIcon();
    void ModifyTrayIcon(const QIcon* icon, const QString& tip);
    QString TrayTip(bool longForm) const;
    QSystemTrayIcon* TrayIconObject() const { return TrayIcon; }

    // The desktop's ways in (ui/Mpris.cpp, ui/HandOver.cpp), the same as the user's: a click on
    // the position bar, a dropped folder, the command line of a second start (restores the
    // window; a folder becomes the root, anything else gets "Invalid folder: ").
    void SeekTo(std::int32_t ms);
    void OpenFolder(const QString& path);
    void HandOver(const std::optional<QString>& argument);

signals:
    // After every refresh of the command states: a command ran, a list changed, the timer ticked.
    void CommandStatesUpdated();
    // The position was moved to ms (a seek, not the playing).
    void PositionMoved(std::int32_t ms);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Start-up and close
    void FormCreate();
    void FormShow();
    void StartUp();

    // Playlist
    void SetRootFolder(const QString& root);
    void edFolderChange();
    void FillFileList();
    void edFileChange();
    void edFolderDropDown();
    void edFolderCloseUp();
    void edFileDropDown();
    void edFileCloseUp();
    void CheckEndOfTrack();
    void ApplyNextFile(const TNextFile& next);
    int Random(int n);
    // The next file is decided ahead of time and queued on the device, which goes on with it
    // without a gap; the decision is kept for the state it was made in (TMoveBasis) and made
    // again when that changes. MoveNext and a reported change apply the kept decision.
    struct TMoveBasis {
        int Folder = -1, File = -1;
        bool Random = false, Repeat = false;
        std::int32_t Played = 0;
        std::uint32_t PlayStart = 0; // the play it was decided for
        bool operator==(const TMoveBasis&) const = default;
    };
    TMoveBasis MoveBasis() const;
    TNextFile DecideNextFile();
    TNextFile TakePlannedMove();
    void PlanNextFile();
    bool MoveTo(const TNextFile& next);
    void EndOfTrack(bool moved);
    void GoOnWithChange(const TTrackChange& change);

    // Timer and display
    void ShowPosition(int value);
    void ShowTitle();
    void ShowFileInfo(); // the labels of a file change, from the new MediaInfo
    static void SetLabelText(QLabel* label, const QString& text);

    // Commands
    struct TCommand;
    static std::span<const TCommand> Commands();
    // The commands whose enabled state the rules decide, with their place in TCommandStates.
    std::array<std::pair<QAction*, bool TCommandStates::*>, 7> DecidedCommands() const;
    TCommandInput GatherCommandInput() const;
    void Execute(QAction* action); // as a key press would: only while it is enabled
    void ActPlayExecute();
    void ActPauseExecute();
    void ActStopExecute();
    void ActLoadExecute();
    void ActPrevFolderExecute();
    void ActPrevFileExecute();
    void ActNextFileExecute();
    void ActNextFolderExecute();
    void ActShuffleExecute();
    void ActCompactExecute();
    void ActFolderImageExecute();
    void ActAboutExecute();
    void ActMixerExecute();
    void ActRestoreExecute();
    void ProgressBar1MouseDown(int x);
    void SeekPosition(std::int32_t ms);
    void ShowPlayNotification();
    void PlayStarted(); // what the Play command does once the device plays
    void SetPlayIcon(int slot);
    void SetPauseState(bool paused);
    void AbortScan();
    // Runs fn now, or, while a scan runs, aborts it and runs fn once it has unwound (a load
    // never starts inside another).
    void RunWhenIdle(std::function<void()> fn);

    // Settings
    void LoadSettings();
    void SaveSettings(bool report);
    // Each reason once per run: the same failure at every later save says nothing new.
    void ReportSaveFailure(const QString& message);

    // Layout and picture
    void SetUpCommands();
    void SetUpMenus();
    void SetUpLook();
    void FirstShowLayout();
    void LayoutToolBar();
    void CenterHorizontally(QWidget* control);
    static void SetControlVisible(QWidget* control, bool visible);
    void UpdateFolderImage();
    // Lays the window out for the folder's picture (plain when null); the loader calls it
    // again when a picture arrives.
    void FolderPictureReady(const QImage& image);
    void ScrollTitle();
    void AnimateChannelMode();
    void KeepOnScreen();
    // The window's place is its frame's outer corner, as Left/Top keep it. It is given at the
    // first show, before the window is mapped, so the window manager maps the frame there, and
    // it is read back only once the window manager has placed the window (until then it is the
    // place asked for).
    void PlaceBeforeFirstShow();
    QPoint FramePosition() const;
    QPoint ReadSavedPosition() const; // Left/Top of the settings file, else the design position
    static constexpr QPoint DesignPosition{199, 124};

    // Tray
    void RemoveTrayIcon();
    void ApplicationMinimize();
    void ApplicationRestore();

    // Drops: the first local path of a drop.
    void DropPath(const QString& path);

    std::unique_ptr<Ui::TFormVelodra> ui;
    QTimer* TmrMain = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PUTray = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TFolderPicture* FolderPicture = nullptr;
    TFormPlayer* FormPlayer = nullptr;
    // The loading window: this window's transient utility window, never the active one.
    std::unique_ptr<TFormLoading> FormLoading;

    TBrowseFolder BrowseFolder;
    QStringList CommandLine;
    std::mt19937 Rng;
    TPlayedKeys PlayedKeys;
    bool PlannedValid = false;
    TMoveBasis PlannedBasis;
    TNextFile Planned;
    const TTrackChange* TakingOver = nullptr; // the change edFileChange takes over, not opens

    bool FirstShowDone = false;
    bool Closing = false;
    bool EndingSession = false;
    bool SettingsLoaded = false; // nothing of this run is worth saving before
    QStringList ReportedSaveFailures;
    int PlayFrom = 0; // where the next Play starts, once (a resumed file)
    QPoint RequestedFramePos;
    bool Placed = false; // the window manager has mapped and placed the window
};
