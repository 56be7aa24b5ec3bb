// The main window's life: creation, first show, the deferred start-up, close, window events,
// the tray icon, drops and dragging by the body.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "platform/FolderPicture.h"
#include "platform/IniFile.h"
#include "player/UFormPlayer.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui/ScopeGuard.h"
#include "ui/UFormLoading.h"
#include "ui/UFormNotify.h"
#include "ui_UFormVelodra.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

TFormVelodra::TFormVelodra(QWidget* parent) : QWidget(parent), ui(new Ui::TFormVelodra) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FormVelodra"));
    move(DesignPosition); // the settings may move it, at the first show
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    TmrMain = new QTimer(this);
    TmrMain->setObjectName(QStringLiteral("TmrMain"));
    TmrMain->setInterval(100);
    connect(TmrMain, &QTimer::timeout, this, [this] { TmrMainTimer(); });
    FolderPicture = new TFolderPicture(this);
    connect(FolderPicture, &TFolderPicture::Ready, this, &TFormVelodra::FolderPictureReady);
    BrowseFolder = [](QWidget* owner, const QString& text, const QString& start) {
        const QString chosen = QFileDialog::getExistingDirectory(
            owner, text, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        // The dialog decodes names its own way; carry the bytes losslessly.
        return chosen.isEmpty() ? QString() : DecodeFileName(QFile::encodeName(chosen));
    };
    SetUpLook();
    SetUpCommands();
    SetUpMenus();
    FormCreate();
}

TFormVelodra::~TFormVelodra() {
    RemoveTrayIcon();
}

void TFormVelodra::SetFormPlayer(TFormPlayer* player) {
    FormPlayer = player;
    FormLoading = player ? std::make_unique<TFormLoading>(*player, this) : nullptr;
}

void TFormVelodra::FormCreate() {
    BaseCaption = windowTitle();
    TitleScrollPos = -1;
    WatchForEnd = false;
    PlayedKeys.Clear();
    IniFileName = SettingsFileName();
    setAcceptDrops(true);
}

void TFormVelodra::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!FirstShowDone) {
        FirstShowDone = true;
        FormShow();
        PlaceBeforeFirstShow();
    }
}

void TFormVelodra::PlaceBeforeFirstShow() {
    const QPoint wanted = ReadSavedPosition();
    QScreen* s = QGuiApplication::screenAt(wanted);
    if (!s) s = screen();
    // The frame's size is known once the window manager has framed the window; the client's
    // stands in for it until the check at the placement.
    RequestedFramePos = s ? KeepFrameOnArea(QRect(wanted, size()), s->availableGeometry()) : wanted;
    move(RequestedFramePos);
    if (QWindow* w = windowHandle()) {
        // After every resize of the first show: a resize makes the position the client's again.
        w->setFramePosition(RequestedFramePos);
        w->installEventFilter(this);
    }
}

QPoint TFormVelodra::FramePosition() const {
    if (!Placed) return RequestedFramePos;
    const QWindow* w = windowHandle();
    return w ? w->framePosition() : pos();
}

void TFormVelodra::FormShow() {
    FirstShowLayout();
    CurFolderIndex = -1;
    CurFileIndex = -1;
    Rng.seed(static_cast<std::mt19937::result_type>(QDateTime::currentMSecsSinceEpoch()));
    // The heavy work runs from the event loop, once the window is on screen; once per process.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { StartUp(); }); }, Qt::QueuedConnection);
}

void TFormVelodra::StartUp() {
    if (StartUpDone) return;
    StartUpDone = true;
    QCoreApplication::processEvents();
    if (Closing) return; // closed while it finished painting
    LoadSettings();
    if (Minimized)
        showMinimized();
    else
        KeepOnScreen();
    if (!CommandLine.isEmpty()) {
        const QString param = CommandLine.first();
        if (IsDirectory(param)) {
            // Saved as given, "." would name another tree at a start from another folder.
            FormPlayer->Library.RootFolder = AbsoluteFileName(param);
            SavedFolderIndex = -1;
        } else {
            QApplication::beep();
            ShowMessage(TMsgIcon::Error, BaseCaption, QStringLiteral("Invalid folder: ") + param);
        }
    }
    TmrMain->start();
    const QString root = FormPlayer->Library.RootFolder;
    if (!IsDirectory(root)) return;
    try {
        SetRootFolder(root);
        const TLibrary& library = FormPlayer->Library;
        int resumeAt = 0;
        if (SavedFolderIndex >= 0 && SavedFileIndex >= 0 &&
            SavedFolderIndex < library.FolderCount() &&
            SavedFileIndex < library.FileCountInFolder(SavedFolderIndex)) {
            {
                const TSuppressed suppress(edFileTag);
                ui->edFolder->setCurrentIndex(SavedFolderIndex);
                edFolderChange();
                ui->edFile->setCurrentIndex(SavedFileIndex);
            }
            edFileChange();
            // The restored file goes on where the last run left it.
            resumeAt = ResumePosition(SavedPosition, FormPlayer->MediaInfo.Duration);
        }
        if (WasPlaying) {
            PlayFrom = resumeAt;
            Execute(ui->ActPlay);
            PlayFrom = 0;
        } else if (resumeAt > 0 && FormPlayer->IsOpen) {
            FormPlayer->Seek(resumeAt);
            ShowPosition(-1);
        }
    } catch (const EVelodraError& e) {
        ActRestoreExecute();
        ReportError(e.Message);
    }
    UpdateCommandStates();
}

void TFormVelodra::AbortScan() {
    if (FormPlayer && FormPlayer->Scanning()) FormPlayer->AbortScan();
}

void TFormVelodra::RunWhenIdle(std::function<void()> fn) {
    if (!FormPlayer || !FormPlayer->Scanning()) {
        fn();
        return;
    }
    AbortScan();
    QTimer::singleShot(20, this, [this, fn = std::move(fn)]() mutable {
        Guarded([&] { RunWhenIdle(std::move(fn)); });
        UpdateCommandStates();
    });
}

void TFormVelodra::closeEvent(QCloseEvent* e) {
    if (FormPlayer && FormPlayer->Scanning()) {
        // Let the running scan unwind first; the close comes again after it.
        AbortScan();
        e->ignore();
        QTimer::singleShot(10, this, &QWidget::close);
        return;
    }
    if (Closing) {
        e->accept();
        return;
    }
    Closing = true;
    // FormCloseQuery
    WasPlaying = FormPlayer && FormPlayer->IsPlaying();
    // FormClose. Closed before the start-up read the settings, the run has nothing to record,
    // and a save would put the defaults over the user's file.
    if (SettingsLoaded) SaveSettings(true);
    RemoveTrayIcon();
    CloseNotify();
    TmrMain->stop();
    e->accept();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TFormVelodra::EndSession() {
    EndingSession = true;
    close();
}

void TFormVelodra::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(e);
    const bool was = change->oldState() & Qt::WindowMinimized;
    const bool now = windowState() & Qt::WindowMinimized;
    if (now && !was)
        ApplicationMinimize();
    else if (was && !now)
        ApplicationRestore();
}

void TFormVelodra::KeepOnScreen() {
    // Before the window manager has placed the window its geometry is not yet its own: the
    // placement runs this check.
    if (!Placed) return;
    QScreen* s = screen();
    if (!s) s = QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect frame = frameGeometry(); // a window's pos() is its frame's corner
    const QPoint corner = KeepFrameOnArea(frame, s->availableGeometry());
    if (corner != frame.topLeft()) move(corner);
}

// ---- tray ----

QString TFormVelodra::TrayTip(bool longForm) const {
    QString tip = BaseCaption;
    if (longForm || (FormPlayer && !FormPlayer->MediaInfo.Title.isEmpty())) {
        tip += QLatin1Char('\r') + (FormPlayer ? FormPlayer->MediaInfo.Title : QString()) +
               QLatin1Char('\r') + ui->LblPosition->text() + QStringLiteral(" - ") +
               ui->LblDuration->text();
    }
    return tip;
}

namespace {
// The tip keeps to what a notification record holds: 127 units and the terminator.
QString FitTip(const QString& tip) {
    constexpr int kMax = 127;
    QString shown = ForDisplay(tip);
    if (shown.size() > kMax) shown = shown.left(kMax - 3) + QStringLiteral("...");
    return shown;
}
} // namespace

void TFormVelodra::AddTrayIcon() {
    if (TrayIcon) return;
    TrayIcon = new QSystemTrayIcon(::TrayFrame(0), this);
    TrayIcon->setToolTip(FitTip(TrayTip(false)));
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    Guarded([this] { Execute(ui->ActRestore); });
                } else if (reason == QSystemTrayIcon::Context) {
                    activateWindow();
                    PUTray->popup(QCursor::pos());
                }
            });
    TrayIcon->show();
}

void TFormVelodra::ModifyTrayIcon(const QIcon* icon, const QString& tip) {
    if (!TrayIcon) return;
    if (icon) TrayIcon->setIcon(*icon);
    if (!tip.isEmpty()) TrayIcon->setToolTip(FitTip(tip));
}

void TFormVelodra::RemoveTrayIcon() {
    if (!TrayIcon) return;
    TrayIcon->hide();
    delete TrayIcon;
    TrayIcon = nullptr;
}

void TFormVelodra::ApplicationMinimize() {
    if (ui->ActMinimizeToTray->isChecked() && QSystemTrayIcon::isSystemTrayAvailable()) {
        AddTrayIcon();
        // Hidden, the window leaves the task bar; the tray icon brings it back.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (TrayIcon) hide();
            },
            Qt::QueuedConnection);
    }
    Minimized = true;
}

void TFormVelodra::ApplicationRestore() {
    if (TrayIcon) {
        show();
        raise();
        activateWindow();
        KeepOnScreen();
        RemoveTrayIcon();
    }
    Minimized = false;
}

void TFormVelodra::ActRestoreExecute() {
    const bool wasMinimized = Minimized || isMinimized() || !isVisible();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (wasMinimized && Minimized) ApplicationRestore();
    KeepOnScreen();
}

// ---- drops and dragging ----

void TFormVelodra::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TFormVelodra::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    e->acceptProposedAction();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        // Only the first item counts.
        OpenFolder(DecodeFileName(QFile::encodeName(url.toLocalFile())));
        break;
    }
}

void TFormVelodra::DropPath(const QString& path) {
    if (!IsDirectory(path))
        throw EVelodraError(QStringLiteral("%1 is not a folder.").arg(QuotedStr(path)));
    SetRootFolder(path);
    UpdateCommandStates();
}

bool TFormVelodra::DragsWindow(const QPoint& clientPos) const {
    const QWidget* w = childAt(clientPos);
    for (; w && w != this; w = w->parentWidget()) {
        if (qobject_cast<const TClickLabel*>(w) || w == ui->ProgressBar1 || w == ui->edFolder ||
            w == ui->edFile || w == ui->ToolBar1 || w->parentWidget() == ui->ToolBar1)
            return false;
    }
    return true;
}

void TFormVelodra::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && DragsWindow(e->position().toPoint())) {
        if (QWindow* w = windowHandle()) w->startSystemMove();
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void TFormVelodra::contextMenuEvent(QContextMenuEvent* e) {
    UpdateCommandStates();
    PopupMenu1->popup(e->globalPos());
    e->accept();
}
