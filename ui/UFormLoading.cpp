#include "ui/UFormLoading.h"

#include "ui/Fonts.h"
#include "ui_UFormPlayer.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QShortcut>

TFormLoading::TFormLoading(TFormPlayer& player, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), ui(new Ui::TFormPlayer),
      Player(player) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FormPlayer"));
    setFont(DisplayFont(11)); // drawn in the display's face
    QPalette info = ui->GroupBox1->palette();
    info.setColor(QPalette::WindowText, palette().color(QPalette::ToolTipText));
    ui->GroupBox1->setPalette(info);
    ui->LblLoad->setPalette(info);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    // Escape is the window's cancel key: it presses Abort.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
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
    show();
    activateWindow();
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
