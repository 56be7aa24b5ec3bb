#pragma once
// What decoders put out beyond the encoded signal, read from the stream itself, so that the
// sound device can take it off at each junction of two files.
#include <cstddef>
#include <cstdint>
#include <optional>

// The encoder's tag in the Info (Xing) frame at the start of an MPEG layer III stream: the
// delay and padding (in samples) that LAME writes, and ffmpeg in the same layout under its own
// name.
struct TMpegEncoderTag {
    std::size_t NameOffset = 0; // of the encoder's name (9 bytes) from the frame's first byte
    char Name[4] = {};          // its first four letters: "LAME", "Lavc", "Lavf"...
    int Delay = 0;
    int Padding = 0;
    int FrameSamples = 0; // samples per frame: 1152 (MPEG-1), 576 (MPEG-2 and 2.5)
};

// The tag of the frame that starts at data; none when no Info frame with a tag starts there.
std::optional<TMpegEncoderTag> ReadMpegEncoderTag(const std::uint8_t* data, std::size_t size);

// The samples a WMA version 1 or 2 decoder puts out before the first encoded one: a whole frame
// of its transform, whose length follows from the sample rate.
int WmaDecoderDelay(int version, int sampleRate);
