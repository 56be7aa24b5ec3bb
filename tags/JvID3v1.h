#pragma once
// The 128-byte ID3v1 (and v1.1) tag at the end of a file.
#include "tags/ByteSource.h"

#include <cstdint>
#include <string>

class TJvID3v1 {
public:
    bool Active() const { return Active_; }
    void SetActive(bool value);
    const std::string& FileName() const { return FileName_; }
    void SetFileName(const std::string& name);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Reads from a source instead of FileName.
    void OpenSource(TByteSource& source);

    // 8-bit texts with the file's bytes unchanged (not trimmed).
    std::string SongName;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::uint8_t Genre = 255;
    std::uint8_t AlbumTrack = 0;
    bool HasTag() const { return HasTag_; }
    std::string GenreAsString() const;

private:
    void Read(TByteSource& source);
    bool Active_ = false;
    bool HasTag_ = false;
    std::string FileName_;
};
