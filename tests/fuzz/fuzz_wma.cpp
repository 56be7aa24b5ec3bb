// ASF header reader over arbitrary bytes.
#include "tags/UWMAfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryByteSource source(data, size);
    TWMAfile wma;
    wma.ReadFromSource(source);
    volatile std::size_t sink = wma.Title.size() + wma.Artist.size() + wma.ChannelMode().size() +
                                static_cast<std::size_t>(wma.Track);
    (void)sink;
    return 0;
}
