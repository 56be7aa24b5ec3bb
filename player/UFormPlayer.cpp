#include "player/UFormPlayer.h"

#include "ui_UFormPlayer.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QShortcut>

TFormPlayer::TFormPlayer(std::unique_ptr<TMediaDevice> device, std::shared_ptr<TClock> clock,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), ui(new Ui::TFormPlayer),
      Device(device ? std::move(device) : CreateGstMediaDevice()),
      ClockSource(clock ? std::move(clock) : SystemClock()) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FormPlayer"));
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

TFormPlayer::~TFormPlayer() {
    // The audio device goes with the window.
    if (Device) Device->Close();
}

void TFormPlayer::Button1Click() {
    AbortRequested = true;
}
