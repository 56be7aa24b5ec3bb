#include "platform/GaplessInfo.h"

#include <cstring>

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Layer III bit rates in kbit/s by index, for MPEG-1 and for MPEG-2/2.5.
constexpr int Mpeg1Rates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                112, 128, 160, 192, 224, 256, 320, 0};
constexpr int Mpeg2Rates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int SampleRates[3] = {44100, 48000, 32000}; // MPEG-1; halved for 2, quartered for 2.5

} // namespace

std::optional<TMpegEncoderTag> ReadMpegEncoderTag(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 4) return std::nullopt;
    // AAAAAAAA AAABBCCD EEEEFFGH IIJJKLMM: sync, version, layer, CRC, bit rate, sample rate,
    // padding, private, channel mode...
    const std::uint32_t h = Be32(data);
    const unsigned version = h >> 19 & 3, layer = h >> 17 & 3, rateIndex = h >> 12 & 15,
                   freqIndex = h >> 10 & 3, mode = h >> 6 & 3;
    if ((h >> 21) != 0x7FF || version == 1 || layer != 1 || freqIndex == 3) return std::nullopt;
    const bool mpeg1 = version == 3;
    const int kbps = (mpeg1 ? Mpeg1Rates : Mpeg2Rates)[rateIndex];
    if (kbps == 0) return std::nullopt;
    const int rate = SampleRates[freqIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const std::size_t frame =
        static_cast<std::size_t>((mpeg1 ? 144 : 72) * kbps * 1000 / rate) + (h >> 9 & 1);
    // The Info frame's header follows the side information.
    const std::size_t sideInfo = mpeg1 ? (mode == 3 ? 17 : 32) : (mode == 3 ? 9 : 17);
    std::size_t p = 4 + sideInfo;
    if (p + 8 > size || p + 8 > frame) return std::nullopt;
    if (std::memcmp(data + p, "Xing", 4) != 0 && std::memcmp(data + p, "Info", 4) != 0)
        return std::nullopt;
    const std::uint32_t flags = Be32(data + p + 4);
    p += 8;
    p += (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    // name (9), revision, low pass, peak (4), two gains (2 + 2), flags, bit rate, then 12 bits
    // of delay and 12 of padding
    if (p + 24 > size || p + 24 > frame) return std::nullopt;
    TMpegEncoderTag tag;
    tag.NameOffset = p;
    std::memcpy(tag.Name, data + p, 4);
    const std::uint8_t* dp = data + p + 21;
    tag.Delay = dp[0] << 4 | dp[1] >> 4;
    tag.Padding = (dp[1] & 15) << 8 | dp[2];
    tag.FrameSamples = mpeg1 ? 1152 : 576;
    return tag;
}

int WmaDecoderDelay(int version, int sampleRate) {
    if (version != 1 && version != 2) return 0;
    if (sampleRate <= 16000) return 512;
    if (sampleRate <= 22050 || (version == 1 && sampleRate <= 32000)) return 1024;
    return 2048;
}
