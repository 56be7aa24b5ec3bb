// Reading and writing the settings file.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/IniFile.h"
#include "player/UFormPlayer.h"
#include "ui_UFormVelodra.h"

namespace {
const QString kLast = QStringLiteral("Last");
const QString kConfig = QStringLiteral("Config");
const QString kWindow = QStringLiteral("Window");
} // namespace

void TFormVelodra::LoadSettings() {
    const TIniFile ini(IniFileName);
    FormPlayer->Library.RootFolder = ini.ReadString(kLast, QStringLiteral("Root"), QString());
    SavedFolderIndex = ini.ReadInteger(kLast, QStringLiteral("Folder"), -1);
    SavedFileIndex = ini.ReadInteger(kLast, QStringLiteral("File"), -1);
    WasPlaying = ini.ReadBool(kLast, QStringLiteral("Playing"), false);

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

    move(ini.ReadInteger(kWindow, QStringLiteral("Left"), x()),
         ini.ReadInteger(kWindow, QStringLiteral("Top"), y()));
    if (ini.ReadBool(kWindow, QStringLiteral("Compact"), ui->ActCompact->isChecked()))
        Execute(ui->ActCompact);
    ui->ActMinimizeToTray->setChecked(ini.ReadBool(kWindow, QStringLiteral("MinimizeToTray"),
                                                   ui->ActMinimizeToTray->isChecked()));
    ui->ActFolderImage->setChecked(
        ini.ReadBool(kWindow, QStringLiteral("FolderImage"), ui->ActFolderImage->isChecked()));
    Minimized = ini.ReadBool(kWindow, QStringLiteral("Minimized"), false);
}

void TFormVelodra::SaveSettings(bool report) {
    try {
        TIniFile ini(IniFileName);
        ini.EraseSection(kLast);
        ini.WriteString(kLast, QStringLiteral("Root"), FormPlayer->Library.RootFolder);
        ini.WriteInteger(kLast, QStringLiteral("Folder"), CurFolderIndex);
        ini.WriteInteger(kLast, QStringLiteral("File"), CurFileIndex);
        ini.WriteBool(kLast, QStringLiteral("Playing"), WasPlaying);

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
            ini.WriteInteger(kWindow, QStringLiteral("Left"), x());
            ini.WriteInteger(kWindow, QStringLiteral("Top"), y());
        }
        ini.WriteBool(kWindow, QStringLiteral("Compact"), ui->ActCompact->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("MinimizeToTray"),
                      ui->ActMinimizeToTray->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("FolderImage"), ui->ActFolderImage->isChecked());
        ini.WriteBool(kWindow, QStringLiteral("Minimized"), Minimized);
        ini.UpdateFile();
    } catch (const EVelodraError&) {
        if (report)
            ShowMessage(TMsgIcon::Error, QStringLiteral("Information"),
                        QStringLiteral("Could not write to ") + QuotedStr(IniFileName) +
                            QLatin1Char('.'));
    }
}
