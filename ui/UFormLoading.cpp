#include "ui/UFormLoading.h"

#include "platform/X11Window.h"
#include "player/Session.h"
#include "ui/Fonts.h"
#include "ui_UFormPlayer.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

TFormLoading::TFormLoading(TSession& session, QWidget* owner)
    // A utility window of the main window (transient for it, no task-bar entry) that never
    // takes the activation: the main window stays the active one, so its keys work during and
    // after a scan, and the window manager has nothing to hand back when this one hides.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      ui(new Ui::TFormPlayer), Session(session), Owner(owner), Progress(new QTimer(this)) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FormPlayer"));
    setFont(DisplayFont(11)); // drawn in the display's face
    QPalette info = ui->GroupBox1->palette();
    info.setColor(QPalette::WindowText, palette().color(QPalette::ToolTipText));
    ui->GroupBox1->setPalette(info);
    ui->LblLoad->setPalette(info);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Escape presses Abort. The keys go to the main window, which stays active, so the key
    // belongs to the application; a shortcut only matches while its window is visible.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::ApplicationShortcut);
    connect(esc, &QShortcut::activated, ui->Button1, &QPushButton::click);
    Progress->setInterval(40);
    connect(Progress, &QTimer::timeout, this, &TFormLoading::ShowProgress);
    connect(&Session, &TSession::ScanStarted, this, &TFormLoading::ScanStarted);
    connect(&Session, &TSession::ScanEnded, this, &TFormLoading::ScanEnded);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

TFormLoading::~TFormLoading() = default;

void TFormLoading::Button1Click() {
    Session.AbortScan();
}

void TFormLoading::ScanStarted() {
    ShowProgress();
    Progress->start();
    // Transient for the owner's window, which exists by now. Not a child widget of the owner:
    // the owner's painting must not take this window into account. The window manager forgets
    // the state when a window hides, so it is set at every show.
    winId();
    if (QWindow* w = windowHandle()) {
        if (Owner && Owner->windowHandle()) w->setTransientParent(Owner->windowHandle());
        SkipTaskbar(*w);
    }
    show();
}

void TFormLoading::ScanEnded() {
    Progress->stop();
    ShowProgress(); // the final counts
    // A scan that gave way to the next one: the window stays for that one.
    if (!Session.Scanning()) hide();
}

void TFormLoading::ShowProgress() {
    const auto [folders, files] = Session.ScanCounts();
    const QLocale locale;
    const QString text = tr("Loading... (%1 folders, %2 files)")
                             .arg(locale.toString(folders), locale.toString(files));
    if (ui->LblLoad->text() != text) ui->LblLoad->setText(text);
}
