#pragma once
// The about box's text, the file-size wording it uses, the mixer command and the mail link.
#include "player/UMediaInfo.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

// What the main window knows when the about box opens.
struct TAboutInput {
    QString BaseCaption = QStringLiteral("Velodra");
    bool IsOpen = false; // a file is open in the player
    TMediaInfo Info;     // MediaInfo of the open file
    QString FolderText;  // edFolder's text: the selected folder as the list shows it
    QString RootFolder;  // lossless file-name text
    int FolderCount = 0; // entries of edFolder
    int TotalFileCount = 0;
};

// Lines separated by carriage returns; with no file open it ends after the country line.
// The size line reads the file's directory entry.
QString BuildAboutText(const TAboutInput& in);

QString VersionText();   // "3.4"
QString CopyrightText(); // the copyright line, also the window's copyright label
QString CountryText();

// Size in bytes from the file's directory entry; -1 when there is none. path is lossless
// file-name text.
qint64 FileSizeOf(const QString& path);
// "999 B", "0.98 KB", "1.46 MB", "2 GB" in the user's locale (QLocale()).
QString FormatFileSize(qint64 count);
// Drops trailing zeros after the locale's decimal separator, then a separator left at the end.
QString StripTrailingZeros(const QString& text);

// Mixer programs tried in this order, each a command line (program and arguments).
QStringList MixerCandidates();
// Starts the first candidate found on PATH; false (and nothing said) when none starts.
bool StartMixer();

QString ContactAddress();
QUrl MailUrl(); // mailto: with the subject "[Velodra]"
void StartMail();
