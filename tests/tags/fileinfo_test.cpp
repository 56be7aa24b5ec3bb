// MPEG audio stream properties: frame search, header tables, Xing/Info, sizes and lengths.
#include "tags/Builders.h"
#include "tags/JvID3v2Base.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace build;

namespace {
TJvID3FileInfo Scan(const std::string& bytes, std::int64_t start = 0) {
    TMemoryByteSource source(bytes);
    TJvID3FileInfo info;
    info.Read(source, start);
    return info;
}
// Enough frames after the first one that the 52 header bytes are always there.
std::string Stream(const std::string& header, std::size_t frameBytes, int frames) {
    std::string s;
    for (int i = 0; i < frames; ++i)
        s += MpegFrame(header, frameBytes);
    return s;
}
} // namespace

struct THeaderCase {
    const char* Name;
    int Version, Layer, BitRateIndex, RateIndex, ChannelMode;
    std::int32_t BitRate, SampleRate;
    std::uint8_t ChannelModeIndex;
};

class HeaderTables : public testing::TestWithParam<THeaderCase> {};

TEST_P(HeaderTables, DecodesRateAndMode) {
    const auto& c = GetParam();
    const auto info = Scan(
        Stream(MpegHeader(c.Version, c.Layer, c.BitRateIndex, c.RateIndex, c.ChannelMode), 100, 4));
    EXPECT_EQ(info.HeaderOffset, 0);
    EXPECT_EQ(info.BitRateKbps, c.BitRate);
    EXPECT_EQ(info.SampleRateHz, c.SampleRate);
    EXPECT_EQ(info.ChannelModeIndex, c.ChannelModeIndex);
    EXPECT_EQ(info.VersionId, c.Version);
    EXPECT_EQ(info.LayerId, c.Layer);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HeaderTables,
    testing::Values(THeaderCase{"Mpeg1Layer3", 3, 1, 9, 0, 1, 128, 44100, 1},
                    THeaderCase{"Mpeg1Layer3Top", 3, 1, 14, 1, 3, 320, 48000, 3},
                    THeaderCase{"Mpeg1Layer2", 3, 2, 14, 2, 2, 384, 32000, 2},
                    THeaderCase{"Mpeg1Layer1", 3, 3, 14, 0, 0, 448, 44100, 0},
                    THeaderCase{"Mpeg2Layer3", 2, 1, 8, 0, 3, 64, 22050, 3},
                    THeaderCase{"Mpeg2Layer1", 2, 3, 9, 1, 0, 144, 24000, 0},
                    THeaderCase{"Mpeg25Layer3", 0, 1, 1, 2, 3, 8, 8000, 3},
                    THeaderCase{"Mpeg25Layer2", 0, 2, 14, 1, 0, 160, 12000, 0},
                    THeaderCase{"FreeFormat", 3, 1, 0, 0, 1, -2, 44100, 1},
                    // The invalid index stops the decoding before the channel mode.
                    THeaderCase{"InvalidBitRateIndex", 3, 1, 15, 0, 3, -1, 44100, 0},
                    THeaderCase{"ReservedRateIndex", 3, 1, 9, 3, 0, 128, -1, 0},
                    // Layer 0 and the reserved version stop at once.
                    THeaderCase{"ReservedLayer", 3, 0, 9, 0, 3, 0, 0, 0},
                    THeaderCase{"ReservedVersion", 1, 1, 9, 0, 3, 0, 0, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(FileInfo, CbrLengthWithBothTags) {
    // 4096-byte tag body: header at 4106; ID3v1 at the end.
    const std::string audio = Stream(MpegHeader(3, 1, 9, 0), 417, 300);
    const std::string file =
        Id3v2(3, std::string(4096, '\0')) + audio + Id3v1("t", "a", "b", "2000", "c", 1, 17);
    TMemoryByteSource source(file);
    TJvID3FileInfo info;
    info.Read(source, 4106);
    EXPECT_EQ(info.HeaderOffset, 4106);
    EXPECT_TRUE(info.HasTrailingTag);
    EXPECT_FALSE(info.VbrHeader);
    EXPECT_EQ(info.FileBytes, static_cast<std::int64_t>(file.size()));
    EXPECT_EQ(info.AudioBytes, static_cast<std::int64_t>(file.size()) - 4106 - 128);
    EXPECT_EQ(info.LengthSeconds, static_cast<std::int32_t>(info.AudioBytes * 8 / 128000));
    EXPECT_EQ(info.LengthSeconds, 7);
    EXPECT_EQ(info.FrameBytes, 418); // 144000 * 128 / 44100 = 417.96
    EXPECT_EQ(info.FrameCount,
              static_cast<std::int32_t>(std::nearbyint(info.AudioBytes / 417.9591836734694)));
}

TEST(FileInfo, XingGivesTheAverageRateNotTheFirstFrames) {
    // First frame says 32 kbit/s; 1000 frames of 8000 bytes average 8000*44100/144000 = 2450 kbit/s
    // would be silly, so use numbers of a real VBR file: 500 frames, 250000 bytes.
    const std::string head = MpegHeader(3, 1, 1, 0, 1);
    const std::string file =
        XingFrame(head, 36, 500, 250000, 104) + Stream(MpegHeader(3, 1, 9, 0), 417, 2);
    const auto info = Scan(file);
    EXPECT_TRUE(info.VbrHeader);
    EXPECT_EQ(info.FrameCount, 500);
    EXPECT_EQ(info.AudioBytes, 250000);
    EXPECT_EQ(info.FrameBytes, 500);
    const long double r = 500.0L * 44100 / 144000; // 153.125
    EXPECT_EQ(info.BitRateKbps, 153);
    EXPECT_EQ(info.LengthSeconds, static_cast<std::int32_t>(250000 * 8 / (r * 1000)));
    EXPECT_FALSE(info.HasTrailingTag); // not looked for once the byte count is known
}

TEST(FileInfo, XingOffsetsAndMagic) {
    struct TCase {
        int Version, Mode;
        std::size_t Offset;
        const char* Magic;
    } cases[] = {{3, 0, 36, "Xing"}, {3, 3, 21, "Info"}, {2, 1, 21, "Xing"}, {0, 3, 13, "Info"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Offset);
        const std::string head = MpegHeader(c.Version, 1, 5, 0, c.Mode);
        const auto info =
            Scan(XingFrame(head, c.Offset, 100, 40000, 200, c.Magic) + std::string(100, '\0'));
        EXPECT_TRUE(info.VbrHeader);
        EXPECT_EQ(info.FrameCount, 100);
        // The wrong offset for this mode finds nothing.
        const std::size_t wrong = c.Offset == 36 ? 21 : 36;
        const auto miss =
            Scan(XingFrame(head, wrong, 100, 40000, 200, c.Magic) + std::string(100, '\0'));
        EXPECT_FALSE(miss.VbrHeader);
    }
}

TEST(FileInfo, Mpeg2XingRateIsDoubled) {
    // 22050 Hz frames averaging 209 bytes: 2 * 209 * 22050 / 144000 = 64.0 kbit/s.
    const std::string head = MpegHeader(2, 1, 8, 0, 3);
    const auto info = Scan(XingFrame(head, 13, 1000, 209000, 209) + Stream(head, 209, 2));
    EXPECT_EQ(info.BitRateKbps, 64);
    EXPECT_EQ(info.SampleRateHz, 22050);
    EXPECT_EQ(info.FrameBytes, 209);
    EXPECT_EQ(info.LengthSeconds, 26); // 209000 * 8 / 64006.25
}

// Fraunhofer's VBRI header sits 36 bytes into the first frame for every version and mode, and
// counts bytes and frames as Xing does.
TEST(FileInfo, VbriGivesTheAverageRate) {
    const std::string mpeg1 = MpegHeader(3, 1, 9, 0, 1); // 128 kbit/s, 44100 Hz
    const std::string mpeg2 = MpegHeader(2, 1, 8, 0, 3); // 64 kbit/s, 22050 Hz, mono
    const std::string vbri1 = VbriFrame(mpeg1, 159000, 460, 418);
    // Xing at 13 in an MPEG-2 mono frame, VBRI behind it at 36: Xing is read.
    std::string both = XingFrame(mpeg2, 13, 100, 40000, 209);
    both.replace(36, 26, VbriFrame(mpeg2, 159000, 460, 0).substr(36));
    struct TCase {
        const char* Name;
        std::string Bytes;
        bool Vbr;
        std::int32_t Frames, BitRate, Length;
    } cases[] = {
        // 159000 / 460 = 345.65 bytes a frame: 345.65 * 44100 / 144000 = 105.86 kbit/s, and
        // 159000 * 8 / 105857 = 12.02 s.
        {"MPEG-1", vbri1 + Stream(mpeg1, 418, 3), true, 460, 106, 12},
        // 209000 / 1100 = 190 bytes: 2 * 190 * 22050 / 144000 = 58.19 kbit/s; 28.73 s.
        {"MPEG-2", VbriFrame(mpeg2, 209000, 1100, 209) + Stream(mpeg2, 209, 3), true, 1100, 58, 28},
        // 400 bytes a frame: 2 * 400 * 22050 / 144000 = 122.5, to even 122; 40000 * 8 / 122500.
        {"Xing first", both + Stream(mpeg2, 209, 3), true, 100, 122, 2},
        // Ends inside the frame count: the 52 bytes for a header are there, the VBRI is not.
        {"cut short", vbri1.substr(0, 53), false, 0, 128, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto info = Scan(c.Bytes);
        EXPECT_EQ(info.HeaderOffset, 0);
        EXPECT_EQ(info.VbrHeader, c.Vbr);
        EXPECT_EQ(info.BitRateKbps, c.BitRate);
        EXPECT_EQ(info.LengthSeconds, c.Length);
        if (c.Vbr) {
            EXPECT_EQ(info.FrameCount, c.Frames);
        }
    }
}

TEST(FileInfo, FrameSearch) {
    const std::string audio = Stream(MpegHeader(3, 1, 9, 0), 418, 3);
    // Non-audio bytes with a false sync pair: that header is taken as decoded.
    const auto falseSync = Scan("junk\xFF\xE2\x10\x40" + std::string(60, 'x') + audio);
    EXPECT_EQ(falseSync.HeaderOffset, 4);
    EXPECT_EQ(falseSync.VersionId, 0);
    EXPECT_EQ(falseSync.LayerId, 1);
    EXPECT_EQ(falseSync.SampleRateHz, 11025);
    // A sync pair split over two 3840-byte blocks, and one right after the start offset.
    const auto split = Scan(std::string(3839, 'x') + audio);
    EXPECT_EQ(split.HeaderOffset, 3839);
    EXPECT_EQ(split.BitRateKbps, 128);
    const auto offset = Scan(std::string(100, '\xFF') + audio, 100);
    EXPECT_EQ(offset.HeaderOffset, 100);
    // Nothing found, or fewer than 52 bytes after the header: reset values.
    for (const std::string& none :
         {std::string(9000, 'x'), std::string("abc\xFF\xFB\x90\x40") + std::string(40, 'x')}) {
        const auto info = Scan(none);
        EXPECT_EQ(info.HeaderOffset, -1);
        EXPECT_EQ(info.BitRateKbps, 0);
        EXPECT_EQ(info.LengthSeconds, 0);
        EXPECT_EQ(info.FileBytes, 0);
    }
}

TEST(FileInfo, NoLengthWithoutAUsableRate) {
    const std::string tail(300, '\0');
    struct TCase {
        const char* Name;
        std::string Bytes;
    } cases[] = {
        {"free format", Stream(MpegHeader(3, 1, 0, 0), 400, 3)},
        {"invalid index", Stream(MpegHeader(3, 1, 15, 0), 400, 3)},
        // Xing frame counts over a reserved or undecoded rate: no division by zero.
        {"reserved rate with Xing", XingFrame(MpegHeader(3, 1, 9, 3), 36, 100, 40000, 200) + tail},
        {"reserved layer with Xing", XingFrame(MpegHeader(3, 0, 9, 0), 36, 100, 40000, 200) + tail},
        {"reserved version with Xing",
         XingFrame(MpegHeader(1, 1, 9, 0), 21, 100, 40000, 200) + tail},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto info = Scan(c.Bytes);
        EXPECT_EQ(info.HeaderOffset, 0);
        EXPECT_EQ(info.LengthSeconds, 0);
        EXPECT_LE(info.BitRateKbps, 128);
    }
    EXPECT_EQ(Scan(cases[0].Bytes).FrameBytes, 0);
    EXPECT_EQ(Scan(cases[0].Bytes).FrameCount, 0);
}

TEST(FileInfo, PaddingBytesByLayerAndKeptAcrossReads) {
    TJvID3FileInfo info;
    const std::string padded1 = Stream(MpegHeader(3, 3, 9, 0, 0, true), 400, 3);
    const std::string padded3 = Stream(MpegHeader(3, 1, 9, 0, 0, true), 400, 3);
    TMemoryByteSource s1(padded1), s3(padded3);
    info.Read(s1, 0);
    EXPECT_EQ(info.PaddingBytes, 4);
    EXPECT_EQ(info.FrameBytes, 317); // Layer I index 9 is 288 kbit/s: 48000 * 288 / 44100 + 4
    info.Read(s3, 0);
    EXPECT_EQ(info.PaddingBytes, 1);
    const std::string invalid = Stream(MpegHeader(3, 1, 15, 0), 400, 3);
    TMemoryByteSource si(invalid);
    info.Read(si, 0);
    EXPECT_EQ(info.PaddingBytes, 1); // not decoded this time, not reset either
    EXPECT_EQ(info.FrameBytes, 0);
}
