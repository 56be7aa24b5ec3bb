#pragma once
// The header of a WMA (ASF) file: stream format and content description.
#include "tags/ByteSource.h"

#include <cstdint>
#include <string>

class TWMAfile {
public:
    TWMAfile() { ResetData(); }

    std::u16string Album;
    std::u16string Artist;
    std::int32_t BitRate = 0; // kbit/s
    std::uint8_t Channels = 0;
    std::u16string Comment;
    double Duration = 0; // s, estimated from the file size and the maximum bit rate
    // The play duration less the preroll, in ms; 0 where the header gives none.
    std::int32_t PlayLengthMs = 0;
    std::int32_t FileSize = 0;
    std::u16string Genre;
    std::int32_t SampleRate = 0;
    std::u16string Title;
    std::int32_t Track = 0; // WM/TrackNumber, else WM/Track
    bool Valid = false;
    std::u16string Year;

    // "Unknown", "Mono" or "Stereo".
    std::u16string ChannelMode() const;

    // False when the file could not be opened or its header runs past the end; true otherwise,
    // also for a file that is not ASF. Never raises.
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromSource(TByteSource& source);
    void ResetData();

    // A string keeps at most this many UTF-16 units; the rest of its bytes are skipped.
    static constexpr std::size_t kMaxStringUnits = 250;
};
