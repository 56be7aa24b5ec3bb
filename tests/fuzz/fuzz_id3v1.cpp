// ID3v1 reader over arbitrary bytes.
#include "tags/JvID3v1.h"
#include "tags/JvID3v2Types.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryByteSource source(data, size);
    TJvID3v1 tag;
    tag.OpenSource(source);
    volatile std::size_t sink = tag.SongName.size() + tag.Artist.size() + tag.Album.size() +
                                tag.Year.size() + tag.Comment.size() + tag.GenreAsString().size() +
                                tag.AlbumTrack;
    (void)sink;
    return 0;
}
