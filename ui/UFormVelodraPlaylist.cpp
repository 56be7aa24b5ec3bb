// The two lists and the display of the selected file, as the session announces them.
#include "ui/UFormVelodra.h"

#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/Session.h"
#include "ui/Rules.h"
#include "ui_UFormVelodra.h"

#include <QSignalBlocker>
#include <QTimer>

void TFormVelodra::LibraryChanged() {
    ui->edFolder->setToolTip(QString());
    ui->edFile->setToolTip(QString());
    const QSignalBlocker block(ui->edFolder);
    QStringList names = Session->Library().FolderDisplayList();
    for (QString& n : names)
        n = DisplayFileName(CleanDisplayName(n)).replace(QLatin1Char('/'), QStringLiteral(" / "));
    ui->edFolder->clear();
    ui->edFolder->addItems(names);
    ui->edFolder->setCurrentIndex(-1);
}

void TFormVelodra::FolderChanged() {
    const int folder = Session->FolderIndex();
    ui->edFolder->setCurrentIndex(folder);
    {
        const QSignalBlocker blockFiles(ui->edFile);
        ui->edFile->clear();
        const int count = Session->Library().FileCountInFolder(folder);
        QStringList names;
        names.reserve(count);
        for (int i = 0; i < count; ++i)
            names << Session->FileDisplayName(folder, i);
        ui->edFile->addItems(names);
        ui->edFile->setCurrentIndex(-1);
    }
    if (folder >= 0) {
        ui->edFolder->setToolTip(ForDisplay(tr("Folder %1 of %2: \r%3")
                                                .arg(folder + 1)
                                                .arg(ui->edFolder->count())
                                                .arg(ui->edFolder->currentText())));
    }
    UpdateFolderImage();
}

void TFormVelodra::FileChanged() {
    const int file = Session->FileIndex();
    ui->edFile->setCurrentIndex(file);
    if (file < 0) return;
    ui->ProgressBar1->setEnabled(false);
    ShowPosition(0);
    LblModeTag = 0;
    SetLabelText(ui->LblMode, QString());
    SetShadowText(ui->LblTitle, QString());
    if (!TmrVolume->isActive()) SetLabelText(ui->LblBitRate, QString());
    SetShadowText(ui->LblDuration, QStringLiteral("00:00"));
    ui->edFile->setToolTip(ForDisplay(tr("File %1 of %2: \r%3")
                                          .arg(file + 1)
                                          .arg(ui->edFile->count())
                                          .arg(ui->edFile->currentText())));
    ShowValueTexts();
    UpdateFolderImage(); // a picture stored in the file belongs to the file
}

void TFormVelodra::InfoChanged() {
    if (!Session->InfoKnown()) return;
    ShowFileInfo();
    ui->ProgressBar1->setEnabled(Session->FileOpen());
}
