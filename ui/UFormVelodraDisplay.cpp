// The display: the timer's schedule, the labels of a file change, the layouts (full and
// compact, plain and with the folder picture), the marquee and the channel-mode animation.
#include "ui/UFormVelodra.h"

#include "platform/ErrorReport.h"
#include "platform/FolderPicture.h"
#include "player/Session.h"
#include "ui/Desktop.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui/UAbout.h"
#include "ui_UFormVelodra.h"

#include <QPixmap>
#include <QScopeGuard>
#include <QTimer>
#include <QtMath>
#include <cmath>

namespace {
bool Shown(const QWidget* w) {
    return !w->isHidden();
}

// Labels that size themselves to their text (width only; their height is the form's).
bool AutoSized(const QLabel* l) {
    return l->property("autoSize").toBool();
}
void SetAutoSize(QLabel* l, bool on) {
    l->setProperty("autoSize", on);
    if (on) l->resize(l->sizeHint().width(), l->height());
}

void SetColor(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

constexpr int kTranslucentAlpha = 200;

} // namespace

void TFormVelodra::SetLabelText(QLabel* label, const QString& text) {
    if (label->text() == text) return;
    label->setText(text);
    if (AutoSized(label)) label->resize(label->sizeHint().width(), label->height());
}

void TFormVelodra::SetControlVisible(QWidget* control, bool visible) {
    if (Shown(control) != visible) control->setVisible(visible);
}

void TFormVelodra::CenterHorizontally(QWidget* control) {
    const QWidget* parent = control->parentWidget();
    const int parentWidth = parent == this ? width() : parent->width();
    const int left = (parentWidth - control->width()) / 2;
    if (control->x() != left) control->move(left, control->y());
}

void TFormVelodra::SetUpLook() {
    // Fonts at the pixel sizes of the form.
    setFont(DisplayFont(11));
    for (QLabel* l : findChildren<QLabel*>()) {
        const int px = l->property("pixelSize").toInt();
        if (px > 0) l->setFont(DisplayFont(px, l->font().bold()));
    }
    ui->Shape1->setAutoFillBackground(true);
    SetColor(ui->Shape1, QPalette::Window, Qt::black);
    SetColor(ui->LblTitle, QPalette::WindowText, QColor(0xFF, 0xFF, 0x00));
    for (QLabel* l : std::initializer_list<QLabel*>{ui->LblPosition, ui->LblDuration})
        SetColor(l, QPalette::WindowText, Qt::white);
    for (QLabel* l :
         std::initializer_list<QLabel*>{ui->LblTitle2, ui->LblPosition2, ui->LblDuration2})
        SetColor(l, QPalette::WindowText, Qt::black);
    for (QLabel* l : std::initializer_list<QLabel*>{ui->LblMode, ui->LblBitRate})
        SetColor(l, QPalette::WindowText, QColor(0xFF, 0x00, 0x00));
    for (QLabel* l : std::initializer_list<QLabel*>{ui->LblLoop, ui->LblShuffle})
        SetColor(l, QPalette::WindowText, QColor(128, 128, 128));
    SetColor(ui->LblCopyright2, QPalette::WindowText, palette().color(QPalette::Light));
    ui->LblCopyright->setText(CopyrightText());
    for (QLabel* l : std::initializer_list<QLabel*>{ui->LblTitleTest, ui->LblCopyright2,
                                                    ui->LblTitle, ui->LblShuffle, ui->LblMode,
                                                    ui->LblLoop, ui->LblBitRate, ui->LblCopyright})
        SetAutoSize(l, true);
    ui->LblTitleTest->hide();
    ui->ImgFolder1->lower();
}

void TFormVelodra::FirstShowLayout() {
    const QRect bevel = ui->BvlDisplay->geometry();
    ui->Shape1->setGeometry(bevel.adjusted(1, 1, -1, -1));
    SetAutoSize(ui->LblTitle, true);
    SetLabelText(ui->LblTitle, tr("Welcome to %1!").arg(BaseCaption));
    ui->LblTitle->move(ui->LblTitle->x(),
                       bevel.top() + (bevel.height() - ui->LblTitle->height()) / 2);
    CenterHorizontally(ui->LblTitle);
    ui->LblTitle2->setText(ui->LblTitle->text());
    ui->LblTitle2->setGeometry(ui->LblTitle->x() + 1, ui->LblTitle->y() + 1, ui->LblTitle->width(),
                               ui->LblTitle2->height());
    SetLabelText(ui->LblMode, QString());
    SetLabelText(ui->LblBitRate, QString());
    SetLabelText(ui->LblPosition, QStringLiteral("00:00"));
    LblPositionTag = 0;
    for (auto [shadow, label] : {std::pair{ui->LblPosition2, ui->LblPosition},
                                 std::pair{ui->LblDuration2, ui->LblDuration}})
        shadow->setGeometry(label->x() + 1, label->y() + 1, label->width(), shadow->height());
    ui->ProgressBar1->setValue(0);
    ui->ProgressBar1->setEnabled(false);
    // The picture area is square: the client is as high as it is wide.
    setFixedSize(width(), width());
    ui->ImgFolder1->setGeometry(rect());
    ui->ImgFolder1->hide();
    FullHeight = height();
    CenterHorizontally(ui->LblCopyright);
    ui->LblCopyright2->setText(ui->LblCopyright->text());
    SetAutoSize(ui->LblCopyright2, true);
    ui->LblCopyright2->move(ui->LblCopyright->x() + 1, ui->LblCopyright->y() + 1);
    ui->LblCopyright2->hide();
    for (QLabel* l :
         std::initializer_list<QLabel*>{ui->LblTitle2, ui->LblPosition2, ui->LblDuration2})
        l->hide();
    ShowValueTexts();
}

void TFormVelodra::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // The copyright label keeps its distance to the bottom edge.
    constexpr int kFromBottom = 202 - 181;
    ui->ImgFolder1->setGeometry(rect());
    ui->LblCopyright->move(ui->LblCopyright->x(), height() - kFromBottom);
    ui->LblCopyright2->move(ui->LblCopyright->x() + 1, ui->LblCopyright->y() + 1);
}

void TFormVelodra::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    // Skipped quietly where windows have no opacity: Qt would warn on every pointer move.
    if (PlatformPlacesWindows()) setWindowOpacity(1.0);
}

void TFormVelodra::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (kTranslucentAlpha < 255 && PlatformPlacesWindows())
        setWindowOpacity(kTranslucentAlpha / 255.0);
}

void TFormVelodra::SetShadowText(QLabel* label, const QString& text) {
    SetLabelText(label, text);
    QLabel* shadow = label == ui->LblTitle      ? ui->LblTitle2
                     : label == ui->LblPosition ? ui->LblPosition2
                                                : ui->LblDuration2;
    SetLabelText(shadow, text);
}

// Only the display's own work: the session announces everything else when it happens.
void TFormVelodra::TmrMainTimer() {
    TmrMain->stop();
    const int counter = TmrMainTag + TmrMain->interval();
    if (counter < 60000) {
        TmrMainTag = counter;
    } else {
        TmrMainTag = 0;
        if (Shown(ui->ImgFolder1)) SetControlVisible(ui->LblCopyright, !Shown(ui->LblCopyright));
        SetControlVisible(ui->LblCopyright2, Shown(ui->LblCopyright) && Shown(ui->ImgFolder1));
    }
    if (TmrMainTag % 300 == 0) ShowPosition(-1);
    if (TmrMainTag % 500 == 0) AnimateChannelMode();
    if (TmrMainTag % 1000 == 0) {
        if (TitleScrollPos >= 0) ScrollTitle();
        if (Session && Session->State() == TPlayState::Playing && TrayIcon) {
            TrayFrame = (TrayFrame + 1) % TrayFrameCount;
            const QIcon icon = ::TrayFrame(TrayFrame);
            ModifyTrayIcon(&icon, TrayTip(true));
        }
    }
    RestartTimer();
}

// Ten times a second only while a file plays; otherwise once a second while a title too long to
// stand scrolls, once a minute for the copyright line over the picture, and not at all without
// either, each tick landing on its slot. What starts something moving wakes it again.
void TFormVelodra::RestartTimer() {
    if (Closing || !Session) return;
    const int interval = Session->State() == TPlayState::Playing ? 100
                         : TitleScrollPos >= 0                   ? 1000 - TmrMainTag % 1000
                         : Shown(ui->ImgFolder1)                 ? 60000 - TmrMainTag
                                                                 : 0;
    if (interval == 0) {
        TmrMain->stop();
        return;
    }
    if (TmrMain->isActive() && TmrMain->interval() == interval) return;
    TmrMain->setInterval(interval);
    TmrMain->start();
}

void TFormVelodra::ShowPosition(int value) {
    if (!Session) return;
    int time;
    int percent;
    if (value == -1) {
        time = Session->Position();
        percent = Session->Player().PercentOf(time);
    } else {
        time = value;
        percent = value;
    }
    if (percent != ui->ProgressBar1->value()) ui->ProgressBar1->setValue(percent);
    const int shown = ui->ActReversedElasped->isChecked() ? Session->Info().Duration - time : time;
    if (shown == LblPositionTag) return;
    SetShadowText(ui->LblPosition, TFormPlayer::FormatTime(shown));
    LblPositionTag = shown;
    ShowValueTexts();
}

void TFormVelodra::ShowValueTexts() {
    if (!Session) return;
    const auto set = [](QWidget* w, const QString& text) {
        if (w->accessibleDescription() != text) w->setAccessibleDescription(text);
    };
    const TMediaInfo& info = Session->Info();
    // The whole title, also while the label scrolls it.
    set(ui->LblTitle, TitleScrollPos >= 0 ? TitleText : ui->LblTitle->text());
    for (QLabel* l :
         std::initializer_list<QLabel*>{ui->LblPosition, ui->LblDuration, ui->LblBitRate})
        set(l, l->text());
    set(ui->LblMode, ChannelModeText(info.ChannelMode));
    const TCommandStates states = Session->CommandStates();
    set(ui->LblLoop, states.LoopLit ? tr("On") : tr("Off"));
    set(ui->LblShuffle, states.ShuffleLit ? tr("On") : tr("Off"));
    const int elapsed =
        ui->ActReversedElasped->isChecked() ? info.Duration - LblPositionTag : LblPositionTag;
    set(ui->ProgressBar1,
        tr("%1 of %2")
            .arg(TFormPlayer::FormatTime(elapsed), TFormPlayer::FormatTime(info.Duration)));
}

void TFormVelodra::ShowTitle() {
    TitleText = Session->TitleText();
    SetLabelText(ui->LblTitleTest, TitleText);
    const int usable = ui->BvlDisplay->width() - 10;
    if (ui->LblTitleTest->sizeHint().width() > usable) {
        TitleScrollPos = 0;
        SetAutoSize(ui->LblTitle, false);
        ui->LblTitle->resize(usable, ui->LblTitle->height());
        SetShadowText(ui->LblTitle, TitleText);
    } else {
        TitleScrollPos = -1;
        SetShadowText(ui->LblTitle, TitleText);
        SetAutoSize(ui->LblTitle, true);
    }
    CenterHorizontally(ui->LblTitle);
    ui->LblTitle2->setGeometry(ui->LblTitle->x() + 1, ui->LblTitle->y() + 2, ui->LblTitle->width(),
                               ui->LblTitle2->height());
    setWindowTitle(QStringLiteral("%1 :: %2").arg(BaseCaption, TitleText));
}

void TFormVelodra::ShowFileInfo() {
    const TMediaInfo& info = Session->Info();
    ShowTitle();
    SetLabelText(ui->LblMode, ChannelModeText(info.ChannelMode));
    CenterHorizontally(ui->LblMode);
    SetShadowText(ui->LblDuration, TFormPlayer::FormatTime(info.Duration));
    if (info.BitRate != 0 && !TmrVolume->isActive()) ShowRate();
    ShowValueTexts();
}

void TFormVelodra::ShowRate() {
    const TMediaInfo& info = Session->Info();
    SetLabelText(ui->LblBitRate,
                 Session->InfoKnown() ? RateText(info.SampleRate, info.BitRate) : QString());
    CenterHorizontally(ui->LblBitRate);
    ShowValueTexts();
}

void TFormVelodra::ShowVolume() {
    const int percent = static_cast<int>(std::lround(Session->Volume() * 100));
    SetLabelText(ui->LblBitRate, tr("Volume %1 %").arg(percent));
    CenterHorizontally(ui->LblBitRate);
    ShowValueTexts();
    TmrVolume->start();
}

void TFormVelodra::ScrollTitle() {
    const QString s = TitleText + QStringLiteral("    ");
    const int p = TitleScrollPos;
    const QString text = p <= 0 ? s : s.mid(p) + s.left(p);
    SetShadowText(ui->LblTitle, text);
    TitleScrollPos = s.size() < p + 1 ? 1 : p + 1;
}

void TFormVelodra::AnimateChannelMode() {
    if (Session->State() != TPlayState::Playing || Session->Info().ChannelMode.isEmpty()) return;
    const QString mode = ChannelModeText(Session->Info().ChannelMode);
    if (++LblModeTag > 11) LblModeTag = 0;
    switch (LblModeTag) {
    case 0:
        SetLabelText(ui->LblMode, mode);
        break;
    case 3:
        SetLabelText(ui->LblMode, QStringLiteral("( ") + mode + QStringLiteral(" )"));
        break;
    case 6:
        SetLabelText(ui->LblMode, QStringLiteral("(( ") + mode + QStringLiteral(" ))"));
        break;
    case 9:
        SetLabelText(ui->LblMode, QStringLiteral("((( ") + mode + QStringLiteral(" )))"));
        break;
    default:
        break;
    }
    CenterHorizontally(ui->LblMode);
}

void TFormVelodra::LayoutToolBar() {
    int x = 0;
    for (QToolButton* b : {ui->BtnPlay, ui->BtnPause, ui->BtnStop, ui->BtnLoad, ui->BtnPrevFolder,
                           ui->BtnPrevFile, ui->BtnNextFile, ui->BtnNextFolder}) {
        if (!Shown(b)) continue;
        if (b->x() != x) b->move(x, 0);
        x += b->width();
    }
    if (ui->ToolBar1->width() != x) ui->ToolBar1->resize(x, ui->ToolBar1->height());
}

void TFormVelodra::ActCompactExecute() {
    const bool compact = ui->ActCompact->isChecked();
    if (Shown(ui->ImgFolder1)) {
        setFixedHeight(FullHeight);
        KeepOnScreen();
        SetControlVisible(ui->edFolder, !compact);
        for (QWidget* w :
             std::initializer_list<QWidget*>{ui->edFile, ui->BtnLoad, ui->BtnPrevFolder,
                                             ui->BtnPrevFile, ui->BtnNextFile, ui->BtnNextFolder})
            SetControlVisible(w, Shown(ui->edFolder));
    } else {
        if (compact) {
            setFixedHeight(height() - (ui->LblCopyright->y() - ui->edFolder->y()));
        } else {
            setFixedHeight(FullHeight);
            KeepOnScreen();
        }
        SetControlVisible(ui->edFolder, !compact);
    }
    SetControlVisible(ui->edFile, Shown(ui->edFolder));
    LayoutToolBar();
    CenterHorizontally(ui->ToolBar1);
    SetControlVisible(ui->ProgressBar1, Shown(ui->edFolder) || !Shown(ui->ImgFolder1));
}

void TFormVelodra::UpdateFolderImage() {
    const int folder = Session ? Session->FolderIndex() : -1;
    // No folder selected (no library yet): simply no picture.
    if (folder < 0) {
        FolderPicture->Cancel();
        FolderPictureReady(QImage());
        if (Session) Session->SetShownPicture(QString());
        return;
    }
    const int file = Session->FileIndex();
    const QString path = file < 0 ? QString() : Session->Library().FilePath(folder, file);
    // Decoded for the device pixels it covers, so that it is as sharp at 2x as at 1x.
    const qreal ratio = devicePixelRatioF();
    const QSize cover(qCeil(width() * ratio), qCeil(FullHeight * ratio));
    const bool shown = ui->ActFolderImage->isChecked();
    // Only a picture the loader already holds comes at once; a decoded one follows later.
    // Hidden, it is still looked up: the desktop's media controls show it.
    const QImage known =
        FolderPicture->Request(Session->Player().FolderPath(folder), path, cover, shown);
    // Laid out again only for another picture: a move within an album keeps its cover up.
    if (!shown ? Shown(ui->ImgFolder1) : known.cacheKey() != ShownImageKey)
        FolderPictureReady(known);
}

void TFormVelodra::FolderPictureReady(const QImage& image) {
    const bool wasCompact = ui->ActCompact->isChecked();
    const auto finish = qScopeGuard([this] {
        SetControlVisible(ui->LblCopyright2, Shown(ui->ImgFolder1) && Shown(ui->LblCopyright));
        for (QLabel* l :
             std::initializer_list<QLabel*>{ui->LblPosition2, ui->LblDuration2, ui->LblTitle2})
            SetControlVisible(l, Shown(ui->ImgFolder1));
        KeepOnScreen();
    });
    if (wasCompact) ui->ActCompact->trigger();
    ShownImageKey = image.cacheKey();
    SetControlVisible(ui->Shape1, true);
    SetControlVisible(ui->ImgFolder1, false);
    SetControlVisible(ui->LblCopyright, true);
    if (!image.isNull()) {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(devicePixelRatioF());
        ui->ImgFolder1->setPixmap(pixmap);
        SetControlVisible(ui->ImgFolder1, true);
        SetControlVisible(ui->Shape1, false);
    }
    if (wasCompact) ui->ActCompact->trigger();
}
