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

#include <QScopeGuard>
#include <QSignalBlocker>
#include <utility>

int TFormVelodra::Random(int n) {
    return RandomBelow(Rng, n);
}

void TFormVelodra::SetRootFolder(const QString& root) {
    FormPlayer->LoadFolder(root, {.Wma = ui->ActInclWMA->isChecked()}, FormLoading.get());
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
    const bool wasPlaying = !TakingOver && FormPlayer->IsPlaying();
    if (TakingOver) {
        // The device went on with this file by itself: it plays already.
        FormPlayer->TakeOverFile(ui->edFolder->currentIndex(), selected,
                                 *std::exchange(TakingOver, nullptr));
    } else {
        PlannedValid = false; // decided for a file, or a library, that is left now
        FormPlayer->OpenFile(ui->edFolder->currentIndex(), selected);
    }
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

TFormVelodra::TMoveBasis TFormVelodra::MoveBasis() const {
    return {.Folder = ui->edFolder->currentIndex(),
            .File = ui->edFile->currentIndex(),
            .Random = ui->ActShuffle->isChecked(),
            .Repeat = ui->ActLoop->isChecked(),
            .Played = PlayedKeys.Size(),
            .PlayStart = FormPlayer->PlayStartTick};
}

TNextFile TFormVelodra::DecideNextFile() {
    const TNextFileInput in{.Library = FormPlayer->Library,
                            .Folder = ui->edFolder->currentIndex(),
                            .File = ui->edFile->currentIndex(),
                            .Random = ui->ActShuffle->isChecked(),
                            .Repeat = ui->ActLoop->isChecked(),
                            .Played = PlayedKeys};
    return ChooseNextFile(in, Rng);
}

// The decision kept for the state now, else a new one; either way it is used up.
TNextFile TFormVelodra::TakePlannedMove() {
    const bool held = PlannedValid && PlannedBasis == MoveBasis();
    PlannedValid = false;
    return held ? Planned : DecideNextFile();
}

void TFormVelodra::PlanNextFile() {
    if (!FormPlayer->IsOpen || FormPlayer->PlayStartTick == 0) return;
    const TMoveBasis basis = MoveBasis();
    if (PlannedValid && PlannedBasis == basis) return;
    FormPlayer->DropNext();
    Planned = DecideNextFile();
    PlannedBasis = basis;
    PlannedValid = true;
    // Refused (a track too short, or one read to its end): moved on at its end as before.
    if (Planned.Kind != TNextKind::None) FormPlayer->QueueNext(Planned.Folder, Planned.File);
}

bool TFormVelodra::MoveNext() {
    return MoveTo(TakePlannedMove());
}

bool TFormVelodra::MoveTo(const TNextFile& next) {
    SetPlayIcon(1);
    ui->ActPause->setIcon(MenuIcon(3));
    FormPlayer->DropNext(); // what comes next is opened here
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
    if (const TTrackChange change = FormPlayer->TakeTrackChange();
        change.Kind != TTrackChange::None) {
        GoOnWithChange(change);
        return;
    }
    if (!FormPlayer->TrackEnded()) {
        WatchForEnd = true;
        PlanNextFile(); // again, when anything it depends on has changed
        return;
    }
    EndOfTrack(MoveNext());
}

void TFormVelodra::EndOfTrack(bool moved) {
    if (moved) {
        if (!FormPlayer->IsPlaying()) Execute(ui->ActPlay);
        return;
    }
    Execute(ui->ActStop);
    SetLabelText(ui->LblPosition, ui->ActReversedElasped->isChecked() ? QStringLiteral("00:00")
                                                                      : ui->LblDuration->text());
}

// The device went on with the queued file (or found it can't be played) when the track ended:
// the move it was decided for happens now, as at the end of a track, but the file plays
// already and is taken over instead of opened and started.
void TFormVelodra::GoOnWithChange(const TTrackChange& change) {
    const TNextFile next = TakePlannedMove();
    const bool planned = next.Kind != TNextKind::None &&
                         FormPlayer->Library.FilePath(next.Folder, next.File) == change.Path;
    if (!planned) {
        // Queued by a decision that changed too late to be dropped: back to the track that
        // ended, and on as the decision now says.
        if (change.Kind == TTrackChange::Changed) {
            FormPlayer->OpenFile(ui->edFolder->currentIndex(), ui->edFile->currentIndex());
            FormPlayer->ReadMediaInfo();
        }
        EndOfTrack(MoveTo(next));
        return;
    }
    TakingOver = &change;
    const auto done = qScopeGuard([this] { TakingOver = nullptr; });
    MoveTo(next);
    if (TakingOver) {
        // The same file again (one file with Repeat): the lists did not change.
        FormPlayer->TakeOverFile(next.Folder, next.File, *std::exchange(TakingOver, nullptr));
        FormPlayer->ReadMediaInfo();
    }
    PlayStarted();
}
