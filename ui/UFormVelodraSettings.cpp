// Reading and writing the settings file.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/IniFile.h"
#include "player/UFormPlayer.h"
#include "ui_UFormVelodra.h"

#include <utility>

namespace {
const QString kLast = QStringLiteral("Last");
const QString kConfig = QStringLiteral("Config");
const QString kWindow = QStringLiteral("Window");
} // namespace

void TFormVelodra::LoadSettings() {
    const TIniFile ini(IniFileName);
    SettingsLoaded = true;
    FormPlayer->Library.RootFolder = ini.ReadString(kLast, QStringLiteral("Root"), QString());
    SavedFolderIndex = ini.ReadInteger(kLast, QStringLiteral("Folder"), -1);
    SavedFileIndex = ini.ReadInteger(kLast, QStringLiteral("File"), -1);
    WasPlaying = ini.ReadBool(kLast, QStringLiteral("Playing"), false);
    SavedPosition = ini.ReadInteger(kLast, QStringLiteral("Position"), 0);

    // Only the ticks: no handler runs (no rescan, no history reset).
    const std::pair<QAction*, QString> options[] = {
        {ui->ActInclWMA, QStringLiteral("InclWMA")},
        {ui->ActLoop, QStringLiteral("Loop")},
        {ui->ActShuffle, QStringLiteral("Shuffle")},
        {ui->ActPlayNotification, QStringLiteral("PlayNotification")}};
    for (const auto& [action, key] : options)
        action->setChecked(ini.ReadBool(kConfig, key, action->isChecked()));
    switch (ini.ReadInteger(kConfig, QStringLiteral("Opaque"), 0) & 0xFF) {
    case 25:
        Execute(ui->Opacity25);
        break;
    case 50:
        Execute(ui->Opacity50);
        break;
    case 75:
        Execute(ui->Opacity75);
        break;
    default:
        break;
    }

    // Left and Top were applied at the first show (ReadSavedPosition).
    if (ini.ReadBool(kWindow, QStringLiteral("Compact"), ui->ActCompact->isChecked()))
        Execute(ui->ActCompact);
    ui->ActMinimizeToTray->setChecked(ini.ReadBool(kWindow, QStringLiteral("MinimizeToTray"),
                                                   ui->ActMinimizeToTray->isChecked()));
    ui->ActFolderImage->setChecked(
        ini.ReadBool(kWindow, QStringLiteral("FolderImage"), ui->ActFolderImage->isChecked()));
    Minimized = ini.ReadBool(kWindow, QStringLiteral("Minimized"), false);
}

QPoint TFormVelodra::ReadSavedPosition() const {
    const TIniFile ini(IniFileName);
    return {ini.ReadInteger(kWindow, QStringLiteral("Left"), DesignPosition.x()),
            ini.ReadInteger(kWindow, QStringLiteral("Top"), DesignPosition.y())};
}

void TFormVelodra::SaveSettings(bool report) {
    try {
        TIniFile ini(IniFileName);
        ini.EraseSection(kLast);
        ini.WriteString(kLast, QStringLiteral("Root"), FormPlayer->Library.RootFolder);
        ini.WriteInteger(kLast, QStringLiteral("Folder"), CurFolderIndex);
        ini.WriteInteger(kLast, QStringLiteral("File"), CurFileIndex);
        ini.WriteBool(kLast, QStringLiteral("Playing"), WasPlaying);
        // After the older keys, so that files without it read as before.
        ini.WriteInteger(kLast, QStringLiteral("Position"),
                         FormPlayer->IsOpen ? FormPlayer->Position() : 0);

        ini.EraseSection(kConfig);
        ini.WriteBool(kConfig, QStringLiteral("InclWMA"), ui->ActInclWMA->isChecked());
        ini.WriteBool(kConfig, QStringLiteral("Loop"), ui->ActLoop->isChecked());
        ini.WriteBool(kConfig, QStringLiteral("Shuffle"), ui->ActShuffle->isChecked());
        ini.WriteBool(kConfig, QStringLiteral("PlayNotification"),
                      ui->ActPlayNotification->isChecked());
        const int opaque = ui->Opacity25->isChecked()   ? 25
                           : ui->Opacity50->isChecked() ? 50
                           : ui->Opacity75->isChecked() ? 75
                                                        : 0;
        ini.WriteInteger(kConfig, QStringLiteral("Opaque"), opaque);

        ini.EraseSection(kWindow);
        // A minimised (or tray-hidden) or maximised window has no position worth keeping.
        const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) &&
                            !Minimized && isVisible();
        if (normal) {
            const QPoint corner = FramePosition();
            ini.WriteInteger(kWindow, QStringLiteral("Left"), corner.x());
            ini.WriteInteger(kWindow, QStringLiteral("Top"), corner.y());
        }
        ini.WriteBool(kWindow, QStringLiteral("Compact"), ui->ActCompact->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("MinimizeToTray"),
                      ui->ActMinimizeToTray->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("FolderImage"), ui->ActFolderImage->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("Minimized"), Minimized);
        ini.UpdateFile();
    } catch (const EVelodraError& e) {
        if (report) ReportSaveFailure(e.Message);
    }
}

void TFormVelodra::ReportSaveFailure(const QString& message) {
    // The reason is what follows the headline of the file's own message; a failure without a
    // headline (a value that cannot be written) is its own reason.
    const qsizetype cut = message.indexOf(QStringLiteral("\r\r"));
    const QString reason = cut >= 0 ? message.mid(cut + 2) : message;
    // Logged while a session ended, it has still not been seen by the user.
    const QString seen = (EndingSession ? QStringLiteral("log ") : QStringLiteral("box ")) + reason;
    if (ReportedSaveFailures.contains(seen)) return;
    ReportedSaveFailures.append(seen);
    const QString headline =
        QStringLiteral("Could not write to ") + QuotedStr(IniFileName) + QLatin1Char('.');
    if (EndingSession) {
        // Nobody is there to answer a message box while the session ends.
        qWarning("%s %s", qUtf8Printable(ForDisplay(headline)), qUtf8Printable(ForDisplay(reason)));
        return;
    }
    ShowMessage(TMsgIcon::Error, QStringLiteral("Information"),
                headline + QStringLiteral("\r\r") + reason);
}

void TFormVelodra::SaveSession() {
    if (!SettingsLoaded) return;
    // The state of this moment, as the close query takes it; the saves at Play keep writing the
    // value loaded at start-up.
    const bool loaded = std::exchange(WasPlaying, FormPlayer && FormPlayer->IsPlaying());
    const bool ending = std::exchange(EndingSession, true);
    SaveSettings(true);
    EndingSession = ending;
    WasPlaying = loaded;
}
