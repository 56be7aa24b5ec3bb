#pragma once
// The information of the open file, and how the MP3 and WMA readers and TagLib fill it.
#include "platform/FolderPicture.h"
#include "tags/OtherFormats.h"

#include <QString>
#include <cstdint>

struct TMediaInfo {
    QString Album;
    QString Artist;
    std::uint16_t BitRate = 0; // kbit/s
    QString Comment;
    std::int32_t Duration = 0; // ms
    QString FilePath;          // lossless file-name text (platform/FileName.h)
    QString Genre;
    QString ChannelMode;
    std::uint32_t SampleRate = 0; // Hz (wide enough for 88200 and 96000)
    QString Title;
    std::int32_t Track = 0;
    QString Year;
};

// The channel mode in the user's language; the record keeps the English name, which the tools
// print.
QString ChannelModeText(const QString& mode);

// Tabs to spaces, runs of spaces to one, blanks and control characters trimmed.
QString CleanTagText(const QString& s);

// The MP3 branch: ID3v1 step, then ID3v2 step with the stream properties; file is null when it
// could not be opened.
void ReadMp3Info(TMediaInfo& info, TByteSource* file);
// The WMA branch, the same way.
void ReadWmaInfo(TMediaInfo& info, TByteSource* file);
// FLAC, Ogg, MP4 and WAV through TagLib. Like the WMA branch it writes every field, also for a
// file it cannot read ("Unknown", 0 and empty texts).
void ReadOtherInfo(TMediaInfo& info, TByteSource* file, TOtherFormat format);
// Dispatch by the extension of info.FilePath, reading that file. Duration stays 0 when the
// stream gives none (the player's length is the caller's fallback). The readers' failures stay
// inside: a failed step keeps what was filled before it.
void ReadStreamInfo(TMediaInfo& info);
// The same from a file the caller has open already.
void ReadStreamInfo(TMediaInfo& info, TByteSource& file);

// The picture stored in the audio file at path: ID3v2 APIC/PIC by our own reader, the other
// kinds through TagLib (WMA included); empty when it has none. Never raises.
TFilePicture ReadFilePicture(const QString& path);
