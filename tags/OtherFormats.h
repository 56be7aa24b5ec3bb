#pragma once
// FLAC, Ogg (Vorbis, Opus, FLAC, Speex), MP4 audio and WAV files, read through TagLib from the
// same read-only byte source as the own readers.
#include "tags/ByteSource.h"

#include <cstdint>
#include <string>

enum class TOtherFormat { Flac, Ogg, Mp4, Wav };

struct TOtherFormatInfo {
    // UTF-8, as the tag holds it; empty where it has none.
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Comment;
    std::string Genre;
    std::uint32_t Year = 0;      // 0 = none
    std::uint32_t Track = 0;     // 0 = none
    std::int32_t SampleRate = 0; // Hz
    std::int32_t BitRate = 0;    // kbit/s
    std::int32_t Channels = 0;
    std::int32_t LengthMs = 0;
};

// Fills info when the source holds a file of that format; false (info untouched) when it does
// not or cannot be read. Never raises.
bool ReadOtherFormat(TByteSource& source, TOtherFormat format, TOtherFormatInfo& info);
