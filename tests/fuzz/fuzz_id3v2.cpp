// ID3v2 reader with the MPEG stream scan over arbitrary bytes. Failures of the open are
// expected; anything else (a crash, a leak, a hang) is a finding.
#include "tags/JvID3v2.h"

#include <cstddef>
#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryByteSource source(data, size);
    TJvID3v2 tag;
    try {
        tag.OpenSource(source);
    } catch (const std::exception&) {
        return 0;
    }
    volatile std::size_t sink = tag.Texts.Title().size() + tag.Texts.Album().size() +
                                static_cast<std::size_t>(tag.FileInfo.LengthSeconds) +
                                tag.Frames.size() + tag.CoverPicture().Data.size();
    (void)sink;
    // The scan on its own, from every start the reader could choose.
    TJvID3FileInfo info;
    info.Read(source, size > 10 ? static_cast<std::int64_t>(data[0] % 16) : 0);
    return 0;
}
