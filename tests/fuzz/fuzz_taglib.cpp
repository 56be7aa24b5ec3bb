// FLAC, Ogg, MP4 and WAV (and WMA's pictures) through TagLib over arbitrary bytes: every format is
// tried on every input, as a file with any of their extensions would be. A crash, a leak or a hang
// is a finding.
#include "tags/OtherFormats.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryByteSource source(data, size);
    for (const TOtherFormat format :
         {TOtherFormat::Flac, TOtherFormat::Ogg, TOtherFormat::Mp4, TOtherFormat::Wav}) {
        TOtherFormatInfo info;
        ReadOtherFormat(source, format, info);
        TStoredPicture picture;
        ReadOtherFormatPicture(source, format, picture);
    }
    TStoredPicture picture; // ASF's pictures: the own reader does not look at them
    ReadWmaPicture(source, picture);
    return 0;
}
