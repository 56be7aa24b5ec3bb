// ASF header reading: validity bounds, derived values, string limits, object order, cut-offs.
#include "tags/Builders.h"
#include "tags/UWMAfile.h"

#include <gtest/gtest.h>

using namespace build;

namespace {
struct TFormat {
    std::uint32_t MaxBitRate = 128000;
    int Channels = 2;
    std::uint32_t SampleRate = 44100;
    std::uint32_t ByteRate = 16000;
};
std::string Formats(const TFormat& f) {
    return AsfFileProperties(f.MaxBitRate) +
           AsfStreamProperties(f.Channels, f.SampleRate, f.ByteRate);
}
// A header with the given objects, padded with data bytes to a given file size.
std::string File(const std::string& objects, int count, std::size_t size = 0) {
    std::string f = AsfHeader(objects, count);
    if (f.size() < size) f.resize(size, '\0');
    return f;
}
bool Read(TWMAfile& wma, const std::string& bytes) {
    TMemoryByteSource source(bytes);
    return wma.ReadFromSource(source);
}
} // namespace

TEST(Wma, ValidHeaderGivesFormatAndEstimate) {
    TWMAfile wma;
    ASSERT_TRUE(Read(wma, File(Formats({}), 2, 1600000)));
    EXPECT_TRUE(wma.Valid);
    EXPECT_EQ(wma.FileSize, 1600000);
    EXPECT_EQ(wma.Channels, 2);
    EXPECT_EQ(wma.ChannelMode(), u"Stereo");
    EXPECT_EQ(wma.SampleRate, 44100);
    EXPECT_DOUBLE_EQ(wma.Duration, 100.0);
    EXPECT_EQ(wma.BitRate, 128);
}

struct TBoundCase {
    const char* Name;
    TFormat Format;
    bool Valid;
};

class WmaBounds : public testing::TestWithParam<TBoundCase> {};

TEST_P(WmaBounds, ValidityTest) {
    const auto& c = GetParam();
    TWMAfile wma;
    EXPECT_TRUE(Read(
        wma,
        File(Formats(c.Format) + AsfContentDescription(Utf16LE("T", true), "", "", "", ""), 3)));
    EXPECT_EQ(wma.Valid, c.Valid);
    // An invalid header takes nothing, not even the title.
    EXPECT_EQ(wma.Title, c.Valid ? u"T" : u"");
    EXPECT_EQ(wma.SampleRate, c.Valid ? static_cast<std::int32_t>(c.Format.SampleRate) : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, WmaBounds,
    testing::Values(TBoundCase{"Mono", {128000, 1, 44100, 16000}, true},
                    TBoundCase{"SixChannels", {128000, 6, 44100, 16000}, false},
                    TBoundCase{"NoChannels", {128000, 0, 44100, 16000}, false},
                    TBoundCase{"Rate7999", {128000, 2, 7999, 16000}, false},
                    TBoundCase{"Rate8000", {128000, 2, 8000, 16000}, true},
                    TBoundCase{"Rate96000", {128000, 2, 96000, 16000}, true},
                    TBoundCase{"Rate96001", {128000, 2, 96001, 16000}, false},
                    TBoundCase{"MaxBitRate319999", {319999, 2, 44100, 16000}, true},
                    TBoundCase{"MaxBitRate320000", {320000, 2, 44100, 16000}, false},
                    TBoundCase{"MaxBitRateZero", {0, 2, 44100, 16000}, false},
                    TBoundCase{"ByteRate399999", {128000, 2, 44100, 399999}, true},
                    TBoundCase{"ByteRate400000", {128000, 2, 44100, 400000}, false},
                    TBoundCase{"ByteRateZero", {128000, 2, 44100, 0}, false}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(Wma, BitRateIsWholeKbits) {
    TWMAfile wma;
    Read(wma, File(Formats({128000, 2, 44100, 16062}), 2));
    EXPECT_EQ(wma.BitRate, 128);
    // The last Stream Properties Object wins.
    Read(wma, File(Formats({}) + AsfStreamProperties(1, 22050, 8000), 3));
    EXPECT_EQ(wma.Channels, 1);
    EXPECT_EQ(wma.ChannelMode(), u"Mono");
    EXPECT_EQ(wma.BitRate, 64);
}

TEST(Wma, LongFileDuration) {
    // 314572800 bytes at 128000 bit/s: only the size matters, so a source that claims it.
    class TBigSource : public TByteSource {
    public:
        explicit TBigSource(std::string head) : Head_(std::move(head)) {}
        std::int64_t Size() const override { return 314572800; }
        std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count) override {
            TMemoryByteSource m(Head_);
            return m.ReadAt(offset, buffer, count);
        }

    private:
        std::string Head_;
    } source(File(Formats({}), 2));
    TWMAfile wma;
    ASSERT_TRUE(wma.ReadFromSource(source));
    EXPECT_DOUBLE_EQ(wma.Duration, 19660.8);
}

TEST(Wma, ContentDescriptionStrings) {
    const std::string longTitle(300, 'x');
    const std::string cdo =
        AsfContentDescription(Utf16LE(longTitle), Utf16LE(" Artist ", true), Utf16LE("(c)", true),
                              Utf16LE("\tComment", true), Utf16LE("PG", true));
    TWMAfile wma;
    ASSERT_TRUE(Read(wma, File(Formats({}) + cdo + AsfContentDescription("", "", "", "", ""), 4)));
    ASSERT_TRUE(wma.Valid);
    // 250 units of 300 kept, and the strings after it still land in their places.
    EXPECT_EQ(wma.Title, std::u16string(250, u'x'));
    // The second, empty object has zero lengths: nothing is read, nothing replaced.
    EXPECT_EQ(wma.Artist, u"Artist");
    EXPECT_EQ(wma.Comment, u"Comment");
    EXPECT_EQ(wma.Album, u"");
}

TEST(Wma, ExtendedDescriptorsAndObjectOrder) {
    const std::string cdo = AsfContentDescription(Utf16LE("Plain", true), "", "", "", "");
    const std::string ext = AsfExtendedContentDescription({
        {"wm/title", 0, Utf16LE("Extended", true)},
        {" WM/AlbumTitle ", 0, Utf16LE("Album", true)},
        {"WM/Track", 0, Utf16LE(" 7 ", true)},
        {"WM/TrackNumber", 0, Utf16LE("9", true)},
        {"WM/Year", 1, "\x01\x02\x03\x04"}, // not a string: skipped
        {"WM/Genre", 0, Utf16LE("Jazz", true)},
        {"WM/Description", 0, Utf16LE("Note", true)},
        {"WM/Author", 0, Utf16LE("Band", true)},
    });
    TWMAfile later;
    ASSERT_TRUE(Read(later, File(Formats({}) + cdo + ext, 4)));
    EXPECT_EQ(later.Title, u"Extended");
    EXPECT_EQ(later.Album, u"Album");
    EXPECT_EQ(later.Track, 9); // WM/TrackNumber, wherever WM/Track stands
    EXPECT_EQ(later.Year, u"");
    EXPECT_EQ(later.Genre, u"Jazz");
    EXPECT_EQ(later.Comment, u"Note");
    EXPECT_EQ(later.Artist, u"Band");
    TWMAfile earlier;
    ASSERT_TRUE(Read(earlier, File(Formats({}) + ext + cdo, 4)));
    EXPECT_EQ(earlier.Title, u"Plain");
    EXPECT_EQ(earlier.Album, u"Album");
}

TEST(Wma, DescriptorsOutsideTheirObjectAreNotRead) {
    // An extended object that claims only its own header: what follows belongs to the next
    // objects, not to it, so each byte is parsed once however many objects the header claims.
    std::string ext = AsfExtendedContentDescription({{"WM/Genre", 0, Utf16LE("Jazz", true)}});
    const std::string shortExt = ext.substr(0, 16) + LE64(24) + ext.substr(24);
    TWMAfile wma;
    EXPECT_TRUE(Read(wma, File(Formats({}) + shortExt, 3)));
    EXPECT_TRUE(wma.Valid);
    EXPECT_EQ(wma.Genre, u"");
}

TEST(Wma, TrackText) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {" 7 ", 7}, {"7a", 0}, {"-3", -3}, {"", 0}, {"99999999999", 0}, {"+12", 12}};
    for (const auto& [text, track] : cases) {
        TWMAfile wma;
        Read(wma, File(Formats({}) +
                           AsfExtendedContentDescription({{"WM/TRACK", 0, Utf16LE(text, true)}}),
                       3));
        EXPECT_EQ(wma.Track, track) << text;
    }
    // WM/TrackNumber, a string or a DWORD, before WM/Track; a value of another shape is none.
    for (const auto& [type, value, track] : {std::tuple{0, Utf16LE(" 3/12 ", true), 3},
                                             {3, LE32(12), 12},
                                             {3, LE16(5), 7},
                                             {5, LE16(5), 7}}) {
        TWMAfile wma;
        Read(wma, File(Formats({}) +
                           AsfExtendedContentDescription({{"WM/TrackNumber", type, value},
                                                          {"WM/Track", 0, Utf16LE("7", true)}}),
                       3));
        EXPECT_EQ(wma.Track, track) << type << value;
    }
}

TEST(Wma, LengthIsPlayDurationLessPreroll) {
    // Play duration (100 ns), preroll (ms), flags (1: broadcast, no durations), length (ms).
    const std::tuple<std::uint64_t, std::uint64_t, std::uint32_t, std::int32_t> cases[] = {
        {231000000, 3100, 0, 20000}, {50001234, 0, 2, 5000}, {231000000, 3100, 1, 0},
        {20000000, 3100, 0, 0},      {0, 0, 0, 0},           {~0ull, 0, 0, 0}};
    for (const auto& [play, preroll, flags, length] : cases) {
        TWMAfile wma;
        ASSERT_TRUE(Read(wma, File(AsfFileProperties(128000, play, preroll, flags) +
                                       AsfStreamProperties(2, 44100, 16000),
                                   2, 1600000)));
        EXPECT_EQ(wma.PlayLengthMs, length) << play;
        EXPECT_DOUBLE_EQ(wma.Duration, 100.0); // the estimate stays as it was
    }
}

TEST(Wma, BrokenFiles) {
    const std::string good =
        File(Formats({}) + AsfContentDescription(Utf16LE("T", true), "", "", "", ""), 3);
    struct TCase {
        const char* Name;
        std::string Bytes;
        bool Result;
    } cases[] = {
        {"not ASF", std::string(200, 'x'), true},
        {"header cut off", good.substr(0, good.size() - 5), false},
        {"count beyond the objects", File(Formats({}), 3), false},
        // Nothing collected before it: a file with no usable header, but no read error.
        {"object smaller than its header",
         File(AsfObject(kAsfFileProperties, "").substr(0, 16) + LE64(0) + Formats({}), 1000), true},
        {"string past the end",
         File(Formats({}) + AsfObject(kAsfContentDescription, LE16(50) + std::string(8, '\0')), 3),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWMAfile wma;
        EXPECT_EQ(Read(wma, c.Bytes), c.Result);
        EXPECT_FALSE(wma.Valid);
        EXPECT_EQ(wma.Title, u"");
        EXPECT_EQ(wma.SampleRate, 0);
        EXPECT_EQ(wma.ChannelMode(), u"Unknown");
    }
    TWMAfile missing;
    EXPECT_FALSE(missing.ReadFromFile("/nonexistent/velodra/a.wma"));
}

TEST(Wma, UndersizedObjectEndsTheHeaderKeepingWhatWasRead) {
    // Declared sizes under the 24 bytes of an object's own header cannot be stepped over: the
    // objects before it count, the ones after it are not read.
    const std::string before =
        Formats({}) + AsfContentDescription(Utf16LE("Title", true), "", "", "", "");
    const std::string after = AsfContentDescription(Utf16LE("Later", true), "", "", "", "") +
                              AsfStreamProperties(1, 8000, 1000);
    for (const std::uint64_t size : {0u, 1u, 23u}) {
        SCOPED_TRACE(size);
        TWMAfile wma;
        EXPECT_TRUE(Read(wma, File(before + kAsfContentDescription + LE64(size) + after, 6)));
        EXPECT_TRUE(wma.Valid);
        EXPECT_EQ(wma.Title, u"Title");
        EXPECT_EQ(wma.SampleRate, 44100);
        EXPECT_EQ(wma.Channels, 2);
    }
}
