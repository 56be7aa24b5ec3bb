// Reading and writing the settings file.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "player/Session.h"
#include "player/Settings.h"
#include "ui/Desktop.h"
#include "ui_UFormVelodra.h"

#include <cmath>

TSettings TFormVelodra::LoadSettings() {
    TSettings defaults;
    defaults.PlayNotification = ui->ActPlayNotification->isChecked();
    defaults.FolderImage = ui->ActFolderImage->isChecked();
    const TSettings s = Settings->Load(defaults);
    Session->SetRootFolder(s.Root);
    // Only the options: no handler runs (no rescan, no history reset).
    Session->SetRepeat(s.Loop);
    Session->SetRandom(s.Shuffle);
    Session->SetIncludeWma(s.InclWMA);
    Session->SetIncludeOther(s.InclOther);
    Session->SetReplayGain(s.ReplayGain);
    Session->SetNaturalOrder(s.NaturalOrder);
    Session->SetVolume(s.Volume / 100.0);
    ui->ActPlayNotification->setChecked(s.PlayNotification);
    // Left and Top were applied at the first show (PlaceBeforeFirstShow); the opacity choices
    // are inert, so Opaque changes nothing.
    if (s.Compact) ui->ActCompact->trigger();
    ui->ActMinimizeToTray->setChecked(s.MinimizeToTray);
    ui->ActFolderImage->setChecked(s.FolderImage);
    Minimized = s.Minimized;
    return s;
}
TSettings TFormVelodra::CurrentSettings() const {
    TSettings s;
    // Before the library is in, or during a visit elsewhere, the place it had is kept.
    const TResume place = Session->Place();
    s.Root = Session->PlaceRoot();
    s.Folder = place.Folder;
    s.File = place.File;
    s.Position = place.PositionMs;
    s.FolderKey = place.FolderKey;
    s.FileName = place.FileName;
    s.InclWMA = Session->IncludeWma();
    s.InclOther = Session->IncludeOther();
    s.ReplayGain = Session->ReplayGain();
    s.Loop = Session->Repeat();
    s.Shuffle = Session->Random();
    s.NaturalOrder = Session->NaturalOrder();
    s.Volume = static_cast<int>(std::lround(Session->Volume() * 100));
    s.PlayNotification = ui->ActPlayNotification->isChecked();
    s.Opaque = ui->Opacity25->isChecked()   ? 25
               : ui->Opacity50->isChecked() ? 50
               : ui->Opacity75->isChecked() ? 75
                                            : 0;
    // A minimised (or tray-hidden) or maximised window has no position worth keeping; where the
    // platform can't tell a window its place, the place read at the start stays.
    s.HasCorner =
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) && !Minimized && isVisible();
    const QPoint corner = PlatformPlacesWindows() ? FramePosition() : StartCorner;
    s.Left = corner.x();
    s.Top = corner.y();
    s.Compact = ui->ActCompact->isChecked();
    s.MinimizeToTray = ui->ActMinimizeToTray->isChecked();
    s.FolderImage = ui->ActFolderImage->isChecked();
    s.Minimized = Minimized;
    return s;
}

void TFormVelodra::ReportSaveFailure(const QString& reason, bool ending) {
    const QString headline = tr("Could not write to %1.").arg(QuotedStr(Settings->FileName()));
    if (ending) {
        // Nobody is there to answer a message box while the session ends.
        qWarning("%s %s", qUtf8Printable(ForDisplay(headline)), qUtf8Printable(ForDisplay(reason)));
        return;
    }
    ShowMessage(TMsgIcon::Error, tr("Information"), headline + QStringLiteral("\r\r") + reason);
}

void TFormVelodra::SaveSession() {
    if (Session) Settings->WriteAsSessionEnds(CurrentSettings(), Session->Place().Playing);
}
