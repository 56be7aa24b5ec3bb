// Moving through the library: the two lists, sequential and random order, the end of a track.
#include "ui/UFormVelodra.h"

#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui/ScopeGuard.h"
#include "ui/UFormLoading.h"
#include "ui_UFormVelodra.h"

#include <QSignalBlocker>

int TFormVelodra::Random(int n) {
    return RandomBelow(Rng, n);
}

void TFormVelodra::SetRootFolder(const QString& root) {
    FormPlayer->LoadFolder(root, ui->ActInclWMA->isChecked(), FormLoading.get());
    ui->edFolder->setToolTip(QString());
    ui->edFile->setToolTip(QString());
    PlayedKeys.Clear();
    CurFolderIndex = -1;
    {
        const QSignalBlocker block(ui->edFolder);
        QStringList names = FormPlayer->Library.FolderDisplayList();
        for (QString& n : names)
            n = DisplayFileName(CleanDisplayName(n))
                    .replace(QLatin1Char('/'), QStringLiteral(" / "));
        ui->edFolder->clear();
        ui->edFolder->addItems(names);
        const int count = ui->edFolder->count();
        ui->edFolder->setCurrentIndex(
            count == 0 ? -1 : (ui->ActShuffle->isChecked() && count >= 2 ? Random(count) : 0));
    }
    edFolderChange();
}

void TFormVelodra::edFolderChange() {
    const int selected = ui->edFolder->currentIndex();
    if (edFolderTag != 0 || selected == CurFolderIndex) return;
    FillFileList();
    CurFolderIndex = selected;
    ui->edFolder->setToolTip(ForDisplay(QStringLiteral("Folder %1 of %2: \r%3")
                                            .arg(selected + 1)
                                            .arg(ui->edFolder->count())
                                            .arg(ui->edFolder->currentText())));
    UpdateFolderImage();
}

void TFormVelodra::FillFileList() {
    CurFileIndex = -1;
    WatchForEnd = false;
    {
        const QSignalBlocker block(ui->edFile);
        QStringList names = FormPlayer->Library.FilesInFolder(ui->edFolder->currentIndex());
        for (QString& n : names)
            n = DisplayFileName(CleanDisplayName(n.left(n.size() - 4)));
        ui->edFile->clear();
        ui->edFile->addItems(names);
        const int count = ui->edFile->count();
        ui->edFile->setCurrentIndex(count == 0 ? -1
                                               : (ui->ActShuffle->isChecked() ? Random(count) : 0));
    }
    edFileChange();
}

void TFormVelodra::edFileChange() {
    const int selected = ui->edFile->currentIndex();
    if (edFileTag != 0 || selected == CurFileIndex) return;
    CurFileIndex = selected;
    ui->ProgressBar1->setEnabled(false);
    ShowPosition(0);
    LblModeTag = 0;
    SetLabelText(ui->LblMode, QString());
    SetLabelText(ui->LblTitle, QString());
    SetLabelText(ui->LblTitle2, QString());
    SetLabelText(ui->LblBitRate, QString());
    SetLabelText(ui->LblDuration, QStringLiteral("00:00"));
    ui->edFile->setToolTip(ForDisplay(QStringLiteral("File %1 of %2: \r%3")
                                          .arg(selected + 1)
                                          .arg(ui->edFile->count())
                                          .arg(ui->edFile->currentText())));
    const bool wasPlaying = FormPlayer->IsPlaying();
    FormPlayer->OpenFile(ui->edFolder->currentIndex(), selected);
    FormPlayer->ReadMediaInfo();
    ShowFileInfo();
    if (wasPlaying) Execute(ui->ActPlay);
    ui->ProgressBar1->setEnabled(true);
}

void TFormVelodra::edFolderDropDown() {
    edFolderTag = -1;
}
void TFormVelodra::edFolderCloseUp() {
    edFolderTag = 0;
}
void TFormVelodra::edFileDropDown() {
    edFileTag = -1;
}
void TFormVelodra::edFileCloseUp() {
    edFileTag = 0;
}

bool TFormVelodra::MoveNext() {
    SetPlayIcon(1);
    ui->ActPause->setIcon(MenuIcon(3));
    const TNextFileInput in{.Library = FormPlayer->Library,
                            .Folder = ui->edFolder->currentIndex(),
                            .File = ui->edFile->currentIndex(),
                            .Random = ui->ActShuffle->isChecked(),
                            .Repeat = ui->ActLoop->isChecked(),
                            .Played = PlayedKeys};
    const TNextFile next = ChooseNextFile(in, Rng);
    ApplyNextFile(next);
    return next.Kind != TNextKind::None;
}

void TFormVelodra::ApplyNextFile(const TNextFile& next) {
    switch (next.Kind) {
    case TNextKind::None:
        return;
    case TNextKind::NextFile:
        ui->edFile->setCurrentIndex(next.File);
        edFileChange();
        return;
    case TNextKind::NextFolder:
        ui->edFolder->setCurrentIndex(next.Folder);
        edFolderChange();
        return;
    case TNextKind::Restart:
    case TNextKind::Random:
        break;
    }
    if (next.ClearPlayed) PlayedKeys.Clear();
    {
        // The folder change opens nothing: the file is chosen, not the folder's first.
        const TSuppressed suppress(edFileTag);
        const bool random = next.Kind == TNextKind::Random;
        if (!random || (ui->edFolder->count() > 1 && next.Folder != ui->edFolder->currentIndex())) {
            ui->edFolder->setCurrentIndex(next.Folder);
            edFolderChange();
        }
        ui->edFile->setCurrentIndex(next.File);
    }
    edFileChange();
}

void TFormVelodra::ActNextFileExecute() {
    MoveNext();
}

void TFormVelodra::ActNextFolderExecute() {
    ui->edFolder->setCurrentIndex(ui->edFolder->currentIndex() + 1);
    edFolderChange();
}

void TFormVelodra::ActPrevFolderExecute() {
    ui->edFolder->setCurrentIndex(ui->edFolder->currentIndex() - 1);
    edFolderChange();
}

void TFormVelodra::ActPrevFileExecute() {
    const int file = ui->edFile->currentIndex();
    if (file != 0) {
        ui->edFile->setCurrentIndex(file - 1);
        edFileChange();
        return;
    }
    Execute(ui->ActPrevFolder);
    ui->edFile->setCurrentIndex(ui->edFile->count() - 1);
    edFileChange();
}

void TFormVelodra::CheckEndOfTrack() {
    WatchForEnd = false;
    if (!FormPlayer->TrackEnded()) {
        WatchForEnd = true;
        return;
    }
    if (MoveNext()) {
        if (!FormPlayer->IsPlaying()) Execute(ui->ActPlay);
        return;
    }
    Execute(ui->ActStop);
    SetLabelText(ui->LblPosition, ui->ActReversedElasped->isChecked() ? QStringLiteral("00:00")
                                                                      : ui->LblDuration->text());
}
