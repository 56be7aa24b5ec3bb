// FLAC, Ogg, MP4 and WAV through TagLib over arbitrary bytes: every format is tried on every
// input, as a file with any of their extensions would be. A crash, a leak or a hang is a finding.
#include "tags/OtherFormats.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryByteSource source(data, size);
    for (const TOtherFormat format :
         {TOtherFormat::Flac, TOtherFormat::Ogg, TOtherFormat::Mp4, TOtherFormat::Wav}) {
        TOtherFormatInfo info;
        ReadOtherFormat(source, format, info);
    }
    return 0;
}
