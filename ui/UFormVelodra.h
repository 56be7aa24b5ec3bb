#pragma once
// The main window: the two lists, the display, the commands' controls, the timer that animates
// the display, the tray icon. It decides nothing: it renders what the session (player/Session.h)
// announces and hands every command to it. Tests reach it through State() and its controls,
// found by their object names.
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QImage;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TFolderPicture;
class TFormJump;
class TFormLoading;
class TSession;
class TSettingsKeeper;
struct TSettings;

namespace Ui {
class TFormVelodra;
}

// The window's state: what the display shows and how it is laid out (and what State() hands
// out as a copy, for tests and diagnostics).
struct TWindowState {
    QString BaseCaption;
    bool Minimized = false;
    QString TitleText;
    int TitleScrollPos = -1;
    int FullHeight = 0; // the full layout's client height
    // The controls' Tag slots.
    int TmrMainTag = 0;
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
    // The session is made by the caller, after this window, and must outlive it until the close
    // sequence has run. The window makes the loading window that shows the session's scans.
    void SetSession(TSession* session);

    // Seams: where the folder browser and the command line come from. The browser answers
    // through its callback (the chosen folder, empty when cancelled) and never blocks.
    using TBrowseFolder =
        std::function<void(QWidget* owner, const QString& text, const QString& start,
                           std::function<void(const QString&)> chosen)>;
    void SetBrowseFolder(TBrowseFolder browse) { BrowseFolder = std::move(browse); }
    void SetCommandLine(const QStringList& args) { CommandLine = args; } // after the program name

    // The close sequence when the session ends (a termination signal): as the user's close, but
    // a failed save goes to the standard error stream, not to a message box nobody answers.
    void EndSession();
    // The session manager's save request: the settings as the close would write them; the
    // program goes on (the log-out may be cancelled).
    void SaveSession();

    TWindowState State() const { return *this; }
    const TSettingsKeeper& SettingsKeeper() const { return *Settings; }

    // The main timer's tick: the display's refresh and animations.
    void TmrMainTimer();
    // Runs the main timer as often as the display needs it now.
    void RestartTimer();
    // True when a left press at this client point drags the window.
    bool DragsWindow(const QPoint& clientPos) const;

    // The notification-area icon.
    void AddTrayIcon();
    void ModifyTrayIcon(const QIcon* icon, const QString& tip);
    QString TrayTip(bool longForm) const;
    QSystemTrayIcon* TrayIconObject() const { return TrayIcon; }
    // A message that can't have a box of its own now: the tray icon's tip when there is one,
    // else the pop-up.
    void ShowStatus(const QString& text);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Start-up and close
    void FormCreate();
    void FormShow();
    void StartUp();

    // What the session announces, rendered.
    void LibraryChanged();
    void FolderChanged(); // edFolderChange's rendering
    void FileChanged();   // edFileChange's: the display cleared for the new file
    void InfoChanged();   // ...and filled once its information is in
    void OptionsChanged();
    void StateChanged();
    void CommandStatesChanged();
    void PlayStarted();
    void ReachedEnd();

    // Timer and display
    void ShowPosition(int value);
    void ShowTitle();
    void ShowFileInfo();
    static void SetLabelText(QLabel* label, const QString& text);
    void SetShadowText(QLabel* label, const QString& text); // and its shadow's
    // What a screen reader reads after the display's names: each one's value.
    void ShowValueTexts();

    // Commands: every key, menu entry, button and clickable label runs here.
    void Execute(QAction* action);
    void SetUpCommands();
    void SetUpMenus();
    QList<QAction*> ReplayGainChoices() const; // Off, Track, Album
    void ActLoadExecute();
    void ActJumpToFileExecute();
    void ActAboutExecute();
    void ActRestoreExecute();
    void ProgressBar1MouseDown(int x);
    void ShowPlayNotification();

    // Settings
    TSettings LoadSettings();
    TSettings CurrentSettings() const; // Playing is the keeper's
    void ReportSaveFailure(const QString& reason, bool ending);

    // Layout and picture
    void SetUpLook();
    void FirstShowLayout();
    void LayoutToolBar();
    void CenterHorizontally(QWidget* control);
    static void SetControlVisible(QWidget* control, bool visible);
    void ActCompactExecute();
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
    static constexpr QPoint DesignPosition{199, 124};

    // The volume under the wheel, shown for a moment where the bit rate stands.
    void ShowVolume();
    void ShowRate();

    // Tray
    void RemoveTrayIcon();
    void ApplicationMinimize();
    void ApplicationRestore();

    std::unique_ptr<Ui::TFormVelodra> ui;
    QTimer* TmrMain = nullptr;
    QTimer* TmrVolume = nullptr; // ends the volume's moment in the display
    int WheelRest = 0;           // wheel turn short of a step, in eighths of a degree
    QMenu* PopupMenu1 = nullptr;
    QMenu* PUTray = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TFolderPicture* FolderPicture = nullptr;
    qint64 ShownImageKey = 0; // of the picture behind the display (0: none)
    TSession* Session = nullptr;
    TFormJump* FormJump = nullptr; // made at its first use
    // The loading window: this window's transient utility window, never the active one.
    std::unique_ptr<TFormLoading> FormLoading;
    std::unique_ptr<TSettingsKeeper> Settings;

    TBrowseFolder BrowseFolder;
    QStringList CommandLine;
    bool FirstShowDone = false;
    bool Closing = false;
    QPoint StartCorner;       // Left/Top as read at the start
    QPoint RequestedFramePos; // where the first show put the frame
    bool Placed = false;      // the window manager has mapped and placed the window
};
