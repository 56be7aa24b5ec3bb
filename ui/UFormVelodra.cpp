// The main window's life: creation, first show, the deferred start-up, close, window events,
// the tray icon, drops and dragging by the body.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "platform/FolderPicture.h"
#include "platform/IniFile.h"
#include "platform/X11Window.h"
#include "player/Session.h"
#include "player/Settings.h"
#include "player/UMediaInfo.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
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
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>

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
    TmrVolume = new QTimer(this);
    TmrVolume->setObjectName(QStringLiteral("TmrVolume"));
    TmrVolume->setSingleShot(true);
    TmrVolume->setInterval(1500);
    connect(TmrVolume, &QTimer::timeout, this, &TFormVelodra::ShowRate);
    FolderPicture = new TFolderPicture(this, &ReadFilePicture);
    connect(FolderPicture, &TFolderPicture::Ready, this, &TFormVelodra::FolderPictureReady);
    // The desktop gets the file's picture whether or not the window shows it.
    connect(FolderPicture, &TFolderPicture::ArtReady, this, [this](const QString& path) {
        if (Session) Session->SetShownPicture(path);
    });
    BrowseFolder = [](QWidget* owner, const QString& text, const QString& start,
                      std::function<void(const QString&)> chosen) {
        // Window-modal and answered later: nothing waits in a nested event loop for it.
        auto* dialog = new QFileDialog(owner, text, start);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QFileDialog::fileSelected, owner, [chosen](const QString& f) {
            // The dialog decodes names its own way; carry the bytes losslessly.
            if (!f.isEmpty()) chosen(DecodeFileName(QFile::encodeName(f)));
        });
        dialog->open();
    };
    SetUpLook();
    SetUpCommands();
    SetUpMenus();
    FormCreate();
}

TFormVelodra::~TFormVelodra() {
    RemoveTrayIcon();
}

void TFormVelodra::SetSession(TSession* session) {
    Session = session;
    FormLoading = session ? std::make_unique<TFormLoading>(*session, this) : nullptr;
    if (!session) return;
    connect(session, &TSession::LibraryChanged, this, &TFormVelodra::LibraryChanged);
    connect(session, &TSession::FolderChanged, this, &TFormVelodra::FolderChanged);
    connect(session, &TSession::FileChanged, this, &TFormVelodra::FileChanged);
    connect(session, &TSession::InfoChanged, this, &TFormVelodra::InfoChanged);
    connect(session, &TSession::OptionsChanged, this, &TFormVelodra::OptionsChanged);
    connect(session, &TSession::StateChanged, this, &TFormVelodra::StateChanged);
    connect(session, &TSession::CommandStatesChanged, this, &TFormVelodra::CommandStatesChanged);
    connect(session, &TSession::PlayStarted, this, &TFormVelodra::PlayStarted);
    connect(session, &TSession::ReachedEnd, this, &TFormVelodra::ReachedEnd);
    connect(session, &TSession::PositionMoved, this, [this] { ShowPosition(-1); });
    connect(session, &TSession::RaiseRequested, this, &TFormVelodra::ActRestoreExecute);
    connect(session, &TSession::QuitRequested, this, &QWidget::close);
    connect(session, &TSession::Beep, this, [] { QApplication::beep(); });
    for (auto signal : {&TSession::Skipped, &TSession::Told})
        connect(session, signal, this, [this](const QString& text) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(ForDisplay(text)));
            ShowStatus(text);
        });
    // After the handlers above: what they showed decides whether the display moves.
    for (auto changed : {&TSession::StateChanged, &TSession::InfoChanged, &TSession::FileChanged,
                         &TSession::PictureChanged})
        connect(session, changed, this, [this] { RestartTimer(); });
    CommandStatesChanged();
}

void TFormVelodra::FormCreate() {
    BaseCaption = windowTitle();
    TitleScrollPos = -1;
    Settings = std::make_unique<TSettingsKeeper>(
        SettingsFileName(),
        [this](const QString& reason, bool ending) { ReportSaveFailure(reason, ending); });
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
    TSettings design;
    design.Left = DesignPosition.x();
    design.Top = DesignPosition.y();
    const TSettings saved = ReadSettings(Settings->FileName(), design);
    const QPoint wanted(saved.Left, saved.Top);
    StartCorner = wanted;
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
        // Qt drops the window manager's close while a box is open: the box goes first, then
        // the window, as the close does otherwise.
        WatchCloseRequest(*w, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return false;
            for (int i = 0; modal && i < 8; ++i, modal = QApplication::activeModalWidget())
                modal->close();
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            return true;
        });
    }
}

QPoint TFormVelodra::FramePosition() const {
    if (!Placed) return RequestedFramePos;
    const QWindow* w = windowHandle();
    return w ? w->framePosition() : pos();
}

void TFormVelodra::FormShow() {
    FirstShowLayout();
    // The start runs from the event loop, once the window is on screen; once per process.
    QMetaObject::invokeMethod(this, &TFormVelodra::StartUp, Qt::QueuedConnection);
}

void TFormVelodra::StartUp() {
    if (StartUpDone) return;
    StartUpDone = true;
    if (Closing || !Session) return; // closed before the start came
    const TSettings saved = LoadSettings();
    if (Minimized)
        showMinimized();
    else
        KeepOnScreen();
    const TResume resume{saved.Folder,  saved.File,      saved.Position,
                         saved.Playing, saved.FolderKey, saved.FileName};
    // Saved as given, "." would name another tree at a start from another folder.
    std::optional<QString> argument;
    if (!CommandLine.isEmpty()) argument = AbsoluteFileName(CommandLine.first());
    Session->StartUp(resume, argument);
    RestartTimer();
}

void TFormVelodra::closeEvent(QCloseEvent* e) {
    if (Closing) {
        e->accept();
        return;
    }
    Closing = true;
    // FormCloseQuery
    Settings->SetWasPlaying(Session && Session->Place().Playing);
    // FormClose. Closed before the start-up read the settings, the run has nothing to record,
    // and a save would put the defaults over the user's file: the keeper writes nothing then.
    if (Session) Settings->Write(CurrentSettings());
    RemoveTrayIcon();
    CloseNotify();
    TmrMain->stop();
    if (Session) Session->Shutdown();
    e->accept();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TFormVelodra::EndSession() {
    Settings->SetEnding();
    close();
}

void TFormVelodra::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Session)
        Session->WindowActivated();
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

namespace {
// The tip keeps to what a notification record holds: 127 units and the terminator.
constexpr int kMaxTip = 127;
} // namespace

QString TFormVelodra::TrayTip(bool longForm) const {
    QString tip = BaseCaption;
    const QString title = Session ? Session->Info().Title : QString();
    if (longForm || !title.isEmpty()) {
        const QString time =
            ui->LblPosition->text() + QStringLiteral(" - ") + ui->LblDuration->text();
        tip += QLatin1Char('\r') + title;
        // Who plays only where the time still fits after it.
        const auto fits = [&](const QString& line) {
            return tip.size() + line.size() + time.size() + 2 <= kMaxTip;
        };
        const QString who =
            Session ? ArtistLine(Session->Info().Artist, Session->Info().Album, fits) : QString();
        if (!who.isEmpty() && fits(who)) tip += QLatin1Char('\r') + who;
        tip += QLatin1Char('\r') + time;
    }
    return tip;
}

namespace {
QString FitTip(const QString& tip) {
    QString shown = ForDisplay(tip);
    if (shown.size() > kMaxTip) shown = shown.left(kMaxTip - 3) + QStringLiteral("...");
    return shown;
}
} // namespace

void TFormVelodra::AddTrayIcon() {
    if (TrayIcon) return;
    TrayIcon = new QSystemTrayIcon(::TrayFrame(0), this);
    TrayIcon->setToolTip(FitTip(TrayTip(false)));
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Trays that speak the StatusNotifierItem protocol send one "activate" for a
                // click and never a double click: either brings the window back.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    ui->ActRestore->trigger();
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

void TFormVelodra::ShowStatus(const QString& text) {
    if (TrayIcon)
        TrayIcon->setToolTip(FitTip(text));
    else
        ShowNotify(BaseCaption + QLatin1Char(' '),
                   ForDisplay(text).section(QLatin1Char('\n'), 0, 0));
}

void TFormVelodra::RemoveTrayIcon() {
    if (!TrayIcon) return;
    TrayIcon->hide();
    // Later: a click on the icon itself may be what removes it.
    TrayIcon->deleteLater();
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
        if (Session) Session->OpenPath(DecodeFileName(QFile::encodeName(url.toLocalFile())));
        break;
    }
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

void TFormVelodra::wheelEvent(QWheelEvent* e) {
    e->accept();
    if (!Session) return;
    // A notch is 120; a touchpad's small turns add up to one.
    constexpr int kNotch = 120, kStep = 5;
    const QPoint delta = e->angleDelta();
    WheelRest += delta.y() != 0 ? delta.y() : -delta.x();
    const int notches = WheelRest / kNotch;
    if (notches == 0) return;
    WheelRest -= notches * kNotch;
    const int percent = static_cast<int>(std::lround(Session->Volume() * 100));
    Session->SetVolume(std::clamp(percent + notches * kStep, 0, 100) / 100.0);
    ShowVolume();
}

void TFormVelodra::contextMenuEvent(QContextMenuEvent* e) {
    PopupMenu1->popup(e->globalPos());
    e->accept();
}
