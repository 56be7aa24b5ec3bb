#pragma once
// The main window: the two lists, the display, the commands, the timer, the tray icon.
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <random>

class QAction;
class QImage;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TFolderPicture;
class TFormPlayer;
class TDropDownList;

namespace Ui {
class TFormVelodra;
}

class TFormVelodra : public QWidget {
    Q_OBJECT

public:
    // The player window is made by the caller, after this window, and must outlive it until
    // the close sequence has run.
    explicit TFormVelodra(QWidget* parent = nullptr);
    ~TFormVelodra() override;
    void SetFormPlayer(TFormPlayer* player) { FormPlayer = player; }

    // Seams for tests: where the folder browser, the command line and randomness come from.
    std::function<QString(QWidget* owner, const QString& text, const QString& start)> BrowseFolder;
    QStringList CommandLine; // the arguments after the program name
    std::mt19937 Rng;

    // State
    QString BaseCaption;
    QString IniFileName;
    int CurFolderIndex = -1;
    int CurFileIndex = -1;
    int SavedFolderIndex = -1;
    int SavedFileIndex = -1;
    bool WasPlaying = false;
    bool Minimized = false;
    bool WatchForEnd = false;
    QSet<QString> PlayedKeys;
    QString TitleText;
    int TitleScrollPos = -1;
    int FullHeight = 0; // the full layout's client height

    // Start-up and close
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
    bool MoveNext();
    void CheckEndOfTrack();
    static QString CleanDisplayName(const QString& s);

    // Timer and display
    void TmrMainTimer();
    void ShowPosition(int value);
    void ShowTitle();
    // The labels of a file change, from the new MediaInfo.
    void ShowFileInfo();
    static void SetLabelText(QLabel* label, const QString& text);

    // Commands
    void UpdateCommandStates();
    // Runs a command the way a key press would: only while it is enabled.
    void Execute(QAction* action);
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
    void ShowPlayNotification();

    // Settings
    void LoadSettings();
    void SaveSettings(bool report);

    // Layout and picture
    void CenterHorizontally(QWidget* control);
    static void SetControlVisible(QWidget* control, bool visible);
    void UpdateFolderImage();
    void ScrollTitle();
    void AnimateChannelMode();
    void KeepOnScreen();

    // Tray
    void AddTrayIcon();
    void ModifyTrayIcon(const QIcon* icon, const QString& tip);
    void RemoveTrayIcon();
    void ApplicationMinimize();
    void ApplicationRestore();
    QString TrayTip(bool longForm) const;
    bool HasTrayIcon() const { return TrayIcon != nullptr; }
    QSystemTrayIcon* TrayIconObject() const { return TrayIcon; }
    int TrayFrame = 0; // ilIcons' Tag

    // Drops: the first local path of a drop.
    void DropPath(const QString& path);
    // True when a left press at this client point drags the window.
    bool DragsWindow(const QPoint& clientPos) const;

    // The controls' Tag slots.
    int TmrMainTag = 0;
    int edFolderTag = 0;
    int edFileTag = 0;
    int ActPauseTag = 0;
    int LblPositionTag = 0;
    int LblModeTag = 0;

    std::unique_ptr<Ui::TFormVelodra> ui;
    QTimer* TmrMain = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PUTray = nullptr;
    TFormPlayer* FormPlayer = nullptr;

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
    void FormCreate();
    void SetUpCommands();
    void SetUpMenus();
    void SetUpLook();
    void FirstShowLayout();
    void SetPlayIcon(int slot);
    void SetPauseState(bool paused);
    void LayoutToolBar();
    void AbortScan();
    // Runs fn now, or, while a scan runs, aborts it and runs fn once it has unwound (a load
    // never starts inside another).
    void RunWhenIdle(std::function<void()> fn);
    QString CurrentKey() const;
    int Random(int n);
    // Lays the window out for the folder's picture (plain when null); the loader calls it
    // again when a picture arrives.
    void FolderPictureReady(const QImage& image);

    QSystemTrayIcon* TrayIcon = nullptr;
    TFolderPicture* FolderPicture = nullptr;
    bool StartUpDone = false;
    bool FirstShowDone = false;
    bool Closing = false;
};
