// Moving through the library: the two lists, sequential and random order, the end of a track.
#include "ui/UFormVelodra.h"

#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "ui/Icons.h"
#include "ui_UFormVelodra.h"

#include <QSignalBlocker>

QString TFormVelodra::CleanDisplayName(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('_'), QLatin1Char(' '));
    while (r.contains(QLatin1String("  ")))
        r.replace(QLatin1String("  "), QLatin1String(" "));
    return r;
}

int TFormVelodra::Random(int n) {
    return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(Rng);
}

void TFormVelodra::SetRootFolder(const QString& root) {
    FormPlayer->LoadFolder(root, ui->ActInclWMA->isChecked());
    ui->edFolder->setToolTip(QString());
    ui->edFile->setToolTip(QString());
    PlayedKeys.clear();
    CurFolderIndex = -1;
    {
        const QSignalBlocker block(ui->edFolder);
        QStringList names;
        FormPlayer->FolderDisplayList(names);
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
        QStringList names;
        const int folder = ui->edFolder->currentIndex();
        if (folder >= 0) FormPlayer->FilesInFolder(folder, names);
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
    if (ui->ActShuffle->isChecked()) {
        edFileTag = -1;
        if (PlayedKeys.size() >= FormPlayer->TotalFileCount()) {
            if (ui->ActLoop->isChecked()) {
                PlayedKeys.clear();
            } else {
                edFileTag = 0;
                return false;
            }
        }
        const int folders = ui->edFolder->count();
        int f = 0;
        int n = 0;
        QString key;
        do {
            f = folders >= 2 ? Random(folders) : 0;
            const int files = FormPlayer->FileCountInFolder(f);
            n = files >= 2 ? Random(files) : 0;
            key = QString::number(f) + QLatin1Char(';') + QString::number(n);
        } while (PlayedKeys.contains(key));
        try {
            if (folders > 1 && f != ui->edFolder->currentIndex()) {
                ui->edFolder->setCurrentIndex(f);
                edFolderChange();
            }
            ui->edFile->setCurrentIndex(n);
        } catch (...) {
            edFileTag = 0;
            throw;
        }
        edFileTag = 0;
        edFileChange();
        return true;
    }
    const int file = ui->edFile->currentIndex();
    const int folder = ui->edFolder->currentIndex();
    if (file < ui->edFile->count() - 1) {
        ui->edFile->setCurrentIndex(file + 1);
        edFileChange();
    } else if (folder < ui->edFolder->count() - 1) {
        ui->edFolder->setCurrentIndex(folder + 1);
        edFolderChange();
    } else if (ui->ActLoop->isChecked()) {
        edFileTag = -1;
        try {
            ui->edFolder->setCurrentIndex(0);
            edFolderChange();
        } catch (...) {
            edFileTag = 0;
            throw;
        }
        ui->edFile->setCurrentIndex(0);
        edFileTag = 0;
        edFileChange();
    } else {
        return false;
    }
    return true;
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
