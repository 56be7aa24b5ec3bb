#pragma once
// Which files are audio: the extensions of each kind, the kinds a scan takes, the media types
// the desktop opens us for.
#include <QStringList>
#include <QStringView>

// The kinds beyond MP3 that a scan may take, as the options "Includes WMA" and "Includes Other
// Formats" say.
struct TAudioTypes {
    bool Wma = false;
    bool Other = false;
};

// Each format that is read its own way; Other is every kind played through TagLib.
enum class TAudioFormat { None, Mp3, Wma, Flac, Ogg, Mp4, Wav };

// By the extension (from the last "." on), ASCII letters case-folded; None for other names.
TAudioFormat AudioFormatOf(QStringView name);
// Whether a scan with these types keeps the file.
bool IsAudioName(QStringView name, TAudioTypes types);
// The kinds of an audio file that these types leave out: Wma for a ".wma" without Wma, Other for
// a FLAC, Ogg, Opus, MP4 or WAV name without Other; nothing for every other name.
TAudioTypes LeftOutTypes(QStringView name, TAudioTypes types);
// The media types of the files these types take, MP3's first.
QStringList AudioMimeTypes(TAudioTypes types);
