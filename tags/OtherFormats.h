#pragma once
// FLAC, Ogg (Vorbis, Opus, FLAC, Speex), MP4 audio and WAV files, read through TagLib from the
// same read-only byte source as the own readers.
#include "tags/ByteSource.h"
#include "tags/StoredPicture.h"

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

// Tag texts are cut to this many characters, as the own readers cut theirs.
constexpr std::size_t kMaxOtherTextChars = 250;
// Blocks and chunks that hold only texts are skipped, unread, above this size (a FLAC comment
// block, a WAV INFO list or ID3v2 chunk): no tag needs it, and a hostile one costs seconds.
constexpr std::uint32_t kMaxTextBlock = 2 * 1024 * 1024;

// Fills info when the source holds a file of that format; false (info untouched) when it does
// not or cannot be read. Never raises.
bool ReadOtherFormat(TByteSource& source, TOtherFormat format, TOtherFormatInfo& info);

// The picture to show from the file's own pictures (FLAC PICTURE blocks, Ogg
// METADATA_BLOCK_PICTURE, MP4 covr, a WAV file's ID3v2 APIC): the front cover, else the first.
// False when it has none or cannot be read. Never raises.
bool ReadOtherFormatPicture(TByteSource& source, TOtherFormat format, TStoredPicture& picture);
// The same for the WM/Picture attributes of a WMA file.
bool ReadWmaPicture(TByteSource& source, TStoredPicture& picture);
