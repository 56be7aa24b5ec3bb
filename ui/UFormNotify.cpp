#include "ui/UFormNotify.h"

#include "ui/Desktop.h"
#include "ui/DesktopNotify.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui_UFormNotify.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

TFormNotify* FormNotify = nullptr;

namespace {
// The form's heights without the artist's line.
constexpr int kHeight = 58;
constexpr int kGroupHeight = 50;
} // namespace

TFormNotify::TFormNotify(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      Ui(std::make_unique<Ui_TFormNotify>()) {
    Ui->setupUi(this);
    Panel1 = Ui->Panel1;
    GroupBox1 = Ui->GroupBox1;
    Image1 = Ui->Image1;
    Label1 = Ui->Label1;
    Label2 = Ui->Label2;
    Label3 = Ui->Label3;

    // A notification must not steal the keyboard from whatever the user is doing.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);
    setAutoFillBackground(true);

    setFont(DisplayFont(11));
    Label1->setFont(SerifFont(15));
    Label2->setFont(DisplayFont(9));
    Label2->setFixedSize(137, 11);
    Label3->setFont(DisplayFont(9));
    Label3->setFixedSize(137, 12);
    // The picture holds two states side by side; the left one is shown.
    const QPixmap notes = NotesPicture();
    if (!notes.isNull()) Image1->setPixmap(notes.copy(0, 0, 16, 16));

    Timer1 = new QTimer(this);
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, &TFormNotify::Timer1Timer);
    SetAlpha(false, 127);
}

TFormNotify::~TFormNotify() {
    if (FormNotify == this) FormNotify = nullptr;
}

void TFormNotify::SetAlpha(bool blend, int alpha) {
    Blend = blend;
    Alpha = alpha;
    setWindowOpacity(blend ? alpha / 255.0 : 1.0);
}

void TFormNotify::Display(const QString& title, const QString& info, const QString& artist,
                          const QString& album) {
    Timer1->stop();
    Timer1->setInterval(FadeInterval);
    SetAlpha(false, 255);

    // The artist's line pushes the information line and the pop-up's bottom down by its height.
    const QFontMetrics who = Label3->fontMetrics();
    const QString line = ArtistLine(artist, album, [&](const QString& s) {
        return who.horizontalAdvance(s) <= Label3->width();
    });
    const int extra = line.isEmpty() ? 0 : Label3->height();
    Label3->setText(who.elidedText(line, Qt::ElideRight, Label3->width()));
    Label3->setVisible(!line.isEmpty());
    Label2->move(Label2->x(), Label3->y() + extra);
    GroupBox1->resize(GroupBox1->width(), kGroupHeight + extra);
    Panel1->resize(Panel1->width(), kHeight + extra);
    setFixedSize(width(), kHeight + extra);

    Label2->setText(info);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setText(FitNotifyTitle(title, Label1->fontMetrics(), Label2->width()));
    Label1->setGeometry(Label1->x(), Label1->y(), Label2->width(), Label1->sizeHint().height());

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(NotifyPosition(screen->availableGeometry(), size()));
    // Read as a notification: tool tips are not announced by Qt itself.
    setAccessibleName(title.trimmed());
    setAccessibleDescription(line.isEmpty() ? info : line + QLatin1Char('\n') + info);
    show();
    raise();
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    Timer1->start();
}

void TFormNotify::Timer1Timer() {
    Timer1->stop();
    if (Alpha <= FadeStep) {
        close();
        return;
    }
    SetAlpha(true, Alpha - FadeStep);
    Timer1->start();
}

void TFormNotify::closeEvent(QCloseEvent* event) {
    // From here on a new notification gets a fresh pop-up, not this one on its way out.
    Timer1->stop();
    if (FormNotify == this) FormNotify = nullptr;
    event->accept();
}

void ShowNotify(const QString& title, const QString& info, const QString& artist,
                const QString& album, const QString& image) {
    // Where a client can't place its windows the pop-up would land anywhere, or take the
    // keyboard as an ordinary window: the desktop's own notifications serve instead.
    if (!PlatformPlacesWindows()) {
        const QString who = ArtistLine(artist, album, [](const QString&) { return true; });
        DesktopNotify(title, who.isEmpty() ? info : who + QLatin1Char('\n') + info, image);
        return;
    }
    if (!FormNotify) FormNotify = new TFormNotify(nullptr);
    FormNotify->Display(title, info, artist, album);
}

void CloseNotify() {
    if (FormNotify) FormNotify->close();
}

QString FitNotifyTitle(const QString& title, const QFontMetrics& metrics, int width) {
    // The first test measures the title as passed in, trailing space and all.
    if (metrics.horizontalAdvance(title) <= width) return title;
    QString s = title.trimmed();
    QString shown;
    do {
        // Never split a surrogate pair: the half left behind would show as a box.
        qsizetype cut = 1;
        if (s.size() >= 2 && s.back().isLowSurrogate() && s.at(s.size() - 2).isHighSurrogate())
            cut = 2;
        s.chop(cut);
        shown = s + QStringLiteral("...");
    } while (!s.isEmpty() && metrics.horizontalAdvance(shown) > width);
    return shown;
}

QPoint NotifyPosition(const QRect& workArea, const QSize& size) {
    return QPoint(workArea.x() + workArea.width() - size.width(),
                  workArea.y() + workArea.height() - size.height());
}
