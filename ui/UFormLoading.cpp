#include "ui/UFormLoading.h"

#include "platform/X11Window.h"
#include "ui/Fonts.h"
#include "ui_UFormPlayer.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

TFormLoading::TFormLoading(TFormPlayer& player, QWidget* owner)
    // A utility window of the main window (transient for it, no task-bar entry) that never
    // takes the activation: the main window stays the active one, so its keys work during and
    // after a scan, and the window manager has nothing to hand back when this one hides.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      ui(new Ui::TFormPlayer), Player(player), Owner(owner) {
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
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

TFormLoading::~TFormLoading() = default;

void TFormLoading::Button1Click() {
    Player.AbortScan();
}

void TFormLoading::ScanStarted() {
    ShowProgress(0, 0);
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

void TFormLoading::FileAccepted(std::int32_t folders, std::int32_t files) {
    // A repaint per file would cost more than the scan itself: the label follows the counts at
    // most every 40 ms (and at the first file), while the scan still processes the events, and
    // with them Abort and Escape, after every file.
    if (files == 1 || ProgressClock.hasExpired(40)) ShowProgress(folders, files);
}

void TFormLoading::ScanEnded() {
    hide();
}

void TFormLoading::ShowProgress(std::int32_t folders, std::int32_t files) {
    ProgressClock.start();
    const QLocale locale;
    ui->LblLoad->setText(QStringLiteral("Loading... (%1 folders, %2 files)")
                             .arg(locale.toString(folders), locale.toString(files)));
}
