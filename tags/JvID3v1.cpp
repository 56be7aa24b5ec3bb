#include "tags/JvID3v1.h"

#include "tags/JvID3v2Types.h"

#include <cstring>
#include <exception>

void TJvID3v1::SetFileName(const std::string& name) {
    if (name == FileName_) return;
    const bool wasActive = Active_;
    SetActive(false);
    FileName_ = name;
    if (wasActive) SetActive(true);
}

void TJvID3v1::SetActive(bool value) {
    if (value == Active_) return;
    if (!value) {
        Active_ = false;
        return;
    }
    const TOpenedSource opened = TryOpenByteSource(FileName_);
    TMemoryByteSource none;
    OpenSource(opened.Source ? *opened.Source : none);
}

void TJvID3v1::OpenSource(TByteSource& source) {
    Active_ = false;
    try {
        Read(source);
    } catch (const std::exception&) {
        // A file that cannot be read simply has no tag.
        TMemoryByteSource none;
        Read(none);
    }
    Active_ = true;
}

namespace {
std::string Field(const char* tag, std::size_t offset, std::size_t width) {
    const char* p = tag + offset;
    const void* zero = std::memchr(p, 0, width);
    return std::string(p,
                       zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : width);
}
} // namespace

void TJvID3v1::Read(TByteSource& source) {
    char tag[128];
    const std::int64_t size = source.Size();
    HasTag_ = size >= 128 && source.ReadAt(size - 128, tag, 128) == 128 &&
              std::memcmp(tag, "TAG", 3) == 0;
    if (!HasTag_) {
        SongName.clear();
        Artist.clear();
        Album.clear();
        Year.clear();
        Comment.clear();
        Genre = 255;
        return;
    }
    SongName = Field(tag, 3, 30);
    Artist = Field(tag, 33, 30);
    Album = Field(tag, 63, 30);
    Year = Field(tag, 93, 4);
    Comment = Field(tag, 97, 30);
    Genre = static_cast<std::uint8_t>(tag[127]);
    AlbumTrack = tag[125] == 0 ? static_cast<std::uint8_t>(tag[126]) : 0;
}

std::string TJvID3v1::GenreAsString() const {
    return std::string(GenreName(Genre));
}
