// ID3v2 reading: header and frame layouts, text encodings, unsynchronisation, where the frame
// loop stops, failures of the whole open, pictures.
#include "tags/Builders.h"
#include "tags/JvID3v2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace build;

namespace {

std::unique_ptr<TJvID3v2> Read(const std::string& bytes) {
    auto tag = std::make_unique<TJvID3v2>();
    TMemoryByteSource source(bytes);
    tag->OpenSource(source);
    return tag;
}

// The error text of a failed open, or "" when it succeeded.
std::string OpenError(const std::string& bytes, TJvID3v2& tag) {
    TMemoryByteSource source(bytes);
    try {
        tag.OpenSource(source);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::string Cut(const std::string& s, std::size_t n) {
    return s.substr(0, s.size() - n);
}

const std::string kMpeg = MpegFrame(MpegHeader(3, 1, 9, 0), 418);

} // namespace

struct TEncodingCase {
    const char* Name;
    int Major;
    std::string Content;
    std::u16string Title;
};

class TextEncoding : public testing::TestWithParam<TEncodingCase> {};

TEST_P(TextEncoding, DecodesTitleAndKeepsReadingFrames) {
    const auto& c = GetParam();
    const std::string body =
        Frame(c.Major, "TIT2", c.Content) + Frame(c.Major, "TALB", Text(0, "Alb"));
    auto tag = Read(Id3v2(c.Major, body) + kMpeg);
    EXPECT_EQ(tag->Texts.Title(), c.Title);
    EXPECT_EQ(tag->Texts.Album(), u"Alb");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, TextEncoding,
    testing::Values(
        TEncodingCase{"Latin1IsWindows1252", 3, Text(0, "Caf\xE9 \x80\x99"),
                      u"Caf\u00E9 \u20AC\u2122"},
        TEncodingCase{"Latin1StopsAtZero", 3, Text(0, std::string("ab\0cd", 5)), u"ab"},
        TEncodingCase{"Utf16LittleEndianMark", 3, Text(1, "\xFF\xFE" + Utf16LE("Word")), u"Word"},
        TEncodingCase{"Utf16BigEndianMark", 3, Text(1, "\xFE\xFF" + Utf16BE("Word")), u"Word"},
        TEncodingCase{"Utf16BadMarkIsEmpty", 3, Text(1, std::string("\0\0", 2) + Utf16LE("Word")),
                      u""},
        TEncodingCase{"Utf16OnlyOneByteIsEmpty", 3, Text(1, "\xFF"), u""},
        TEncodingCase{"Utf16StopsAtZeroUnit", 3,
                      Text(1, "\xFF\xFE" + Utf16LE("Ab", true) + Utf16LE("Cd")), u"Ab"},
        TEncodingCase{"Utf16DropsOddTrailingByte", 3, Text(1, "\xFF\xFE" + Utf16LE("Ab") + "C"),
                      u"Ab"},
        TEncodingCase{"Utf16BigEndianWithoutMark", 4, Text(2, Utf16BE("Word")), u"Word"},
        TEncodingCase{"Utf8", 4, Text(3, "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x8E\xB5"),
                      u"Gr\u00FC\u00DF \U0001F3B5"},
        TEncodingCase{"Utf8FirstOfTwoStrings", 4, Text(3, std::string("One\0Two", 7)), u"One"},
        TEncodingCase{"Utf8TruncatedSequence", 4, Text(3, "a\xC3"), u"a\uFFFD"},
        TEncodingCase{"Utf8BadContinuationResumes", 4, Text(3, "\xE2(\xA1"), u"\uFFFD(\uFFFD"},
        TEncodingCase{"Utf8FiveByteFormBeyondRange", 4, Text(3, "\xF8\x88\x80\x80\x80z"),
                      u"\uFFFDz"},
        TEncodingCase{"Utf8StrayLeadBytes", 4, Text(3, "\xFE\xFFx"), u"\uFFFD\uFFFDx"},
        TEncodingCase{"EmptyFrame", 3, "", u""}),
    [](const auto& p) { return std::string(p.param.Name); });

// The same two frames in each frame-header layout; a 200-byte title makes a big-endian size
// differ from a synchsafe one.
class FrameLayout : public testing::TestWithParam<int> {};

TEST_P(FrameLayout, ReadsTitleAndAlbum) {
    const int major = GetParam();
    const std::string title(200, 'T');
    const bool v22 = major == 2;
    const std::string body = Frame(major, v22 ? "TT2" : "TIT2", Text(0, title)) +
                             Frame(major, v22 ? "TAL" : "TALB", Text(0, "Album")) +
                             std::string(64, '\0');
    auto tag = Read(Id3v2(major, body) + kMpeg);
    EXPECT_EQ(tag->Texts.Title(), std::u16string(200, u'T'));
    EXPECT_EQ(tag->Texts.Album(), u"Album");
    ASSERT_EQ(tag->Frames.size(), 2u);
    EXPECT_EQ(tag->Frames[0]->FrameName, v22 ? "TT2" : "TIT2");
    EXPECT_EQ(tag->FileInfo.HeaderOffset, static_cast<std::int64_t>(10 + body.size()));
}

INSTANTIATE_TEST_SUITE_P(Versions, FrameLayout, testing::Values(2, 3, 4));

TEST(Id3v2, FourLetterNamesInA22TagAreNotFrames) {
    // A 2.2 tag reads three-letter identifiers: "TIT" + "2" is an unknown frame, not the title.
    auto tag = Read(Id3v2(2, Frame23("TIT2", Text(0, "x"))));
    EXPECT_EQ(tag->Texts.Title(), u"");
}

TEST(Id3v2, ExtendedHeaders) {
    const std::string frames = Frame23("TIT2", Text(0, "Title"));
    // 2.3 with CRC: size 10, flags 80 00, padding, CRC.
    auto v23 =
        Read(Id3v2(3, BE32(10) + Bytes({0x80, 0}) + BE32(7) + BE32(0xCAFEBABE) + frames, 0x40));
    EXPECT_TRUE(v23->ExtendedHeader.Flags.Has(hefCRCDataPresent));
    EXPECT_EQ(v23->ExtendedHeader.SizeOfPadding, 7u);
    EXPECT_EQ(v23->ExtendedHeader.TotalFrameCRC, 0xCAFEBABEu);
    EXPECT_EQ(v23->Texts.Title(), u"Title");

    // 2.4 with update, CRC and restrictions; its size counts the size field.
    const std::string ext24 = Synchsafe(15) + Bytes({1, 0x70, 0, 5, 0, 0, 1, 2, 1, 1, 0xB5});
    auto v24 = Read(Id3v2(4, ext24 + Frame24("TIT2", Text(0, "Title")), 0x40));
    EXPECT_TRUE(v24->ExtendedHeader.Flags.Has(hefTagIsAnUpdate));
    EXPECT_TRUE(v24->ExtendedHeader.Flags.Has(hefTagRestrictions));
    EXPECT_EQ(v24->ExtendedHeader.TotalFrameCRC, (1u << 14) | (2u << 7) | 1u);
    EXPECT_EQ(v24->ExtendedHeader.RestrictionTagSize, 2);
    EXPECT_EQ(v24->ExtendedHeader.RestrictionTextFieldSize, 2);
    EXPECT_EQ(v24->ExtendedHeader.RestrictionImageSize, 1);
    EXPECT_EQ(v24->Texts.Title(), u"Title");

    // A 2.4 size below 6: frames follow the size field at once.
    auto tiny = Read(Id3v2(4, Synchsafe(4) + Frame24("TIT2", Text(0, "Title")), 0x40));
    EXPECT_EQ(tiny->Texts.Title(), u"Title");

    // In 2.2 that flag bit means compression and there is no extended header.
    auto v22 = Read(Id3v2(2, Frame22("TT2", Text(0, "Title")), 0x40));
    EXPECT_FALSE(v22->Header.Flags.Has(hfExtendedHeader));
    EXPECT_EQ(v22->Texts.Title(), u"Title");
}

TEST(Id3v2, IdentifierClassesAndWhereTheLoopStops) {
    const std::string title = Frame23("TIT2", Text(0, "Title"));
    const std::string album = Frame23("TALB", Text(0, "Album"));
    struct TCase {
        const char* Name;
        std::string Body;
        std::size_t Frames;
        std::u16string Album;
    } cases[] = {
        {"lower-case identifier stops", title + Frame23("talb", Text(0, "x")) + album, 1, u""},
        {"padding stops", title + std::string(20, '\0') + album, 1, u""},
        {"unknown identifier is read on", title + Frame23("XYZ9", "data") + album, 3, u"Album"},
        {"2.4 identifier in a 2.3 tag", title + Frame23("TDRC", Text(0, "2001")) + album, 3,
         u"Album"},
        {"oversized frame ends the list",
         title + Frame23("TXXX", "").substr(0, 4) + BE32(1000) + Bytes({0, 0}) + album, 2, u""},
        {"too few bytes for a header", title + "TAL", 1, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto tag = Read(Id3v2(3, c.Body));
        EXPECT_EQ(tag->Frames.size(), c.Frames);
        EXPECT_EQ(tag->Texts.Title(), u"Title");
        EXPECT_EQ(tag->Texts.Album(), c.Album);
    }
    auto tag = Read(Id3v2(3, title + Frame23("XYZ9", "data") + Frame23("TDRC", Text(0, "2001"))));
    EXPECT_EQ(tag->Frames[1]->FrameID, fiUnknownFrame);
    EXPECT_EQ(tag->Frames[1]->FrameName, "XYZ9");
    EXPECT_EQ(tag->Frames[2]->FrameID, fiRecordingTime);
    EXPECT_EQ(tag->Frames[2]->Index, 2);
}

TEST(Id3v2, FirstOfTwoTitlesWinsAndAnEmptyTitleIsNotSkipped) {
    auto two =
        Read(Id3v2(3, Frame23("TIT2", Text(0, "First")) + Frame23("TIT2", Text(0, "Second"))));
    EXPECT_EQ(two->Texts.Title(), u"First");
    auto empty = Read(Id3v2(4, Frame24("TIT2", "") + Frame24("TALB", Text(3, "Album"))));
    EXPECT_EQ(empty->Texts.Title(), u"");
    EXPECT_EQ(empty->Texts.Album(), u"Album");
}

TEST(Id3v2, ExtraFrameHeaderFieldsCountWithinTheFrameSize) {
    // 2.3 compressed + grouped: decompressed size and group id lead the data.
    const std::string odd = "PRIV" + BE32(9) + Bytes({0, 0xA0}) + BE32(100) + Bytes({7}) + "abcd";
    auto v23 = Read(Id3v2(3, odd + Frame23("TIT2", Text(0, "Title"))));
    EXPECT_EQ(v23->Frames[0]->DecompressedSize, 100u);
    EXPECT_EQ(v23->Frames[0]->GroupID, 7);
    EXPECT_EQ(v23->Texts.Title(), u"Title");
    // 2.4 group + data length indicator.
    const std::string odd24 =
        "TPE1" + Synchsafe(8) + Bytes({0, 0x41, 3}) + Synchsafe(2) + Text(0, "x") + "y";
    auto v24 = Read(Id3v2(4, odd24 + Frame24("TIT2", Text(0, "Title"))));
    EXPECT_EQ(v24->Frames[0]->GroupID, 3);
    EXPECT_EQ(v24->Frames[0]->DataLength, 2u);
    EXPECT_EQ(v24->Texts.Title(), u"Title");
}

TEST(Id3v2, UnsynchronisationDecoder) {
    // FF 00 00 gives FF 00; FF 00 FF 00 gives FF FF.
    std::vector<std::uint8_t> out;
    const std::string in = Bytes({0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 1});
    std::size_t at = 0;
    UnsyncDecode(
        [&](std::uint8_t* b, std::size_t n) {
            const std::size_t k = std::min(n, in.size() - at);
            std::memcpy(b, in.data() + at, k);
            at += k;
            return k;
        },
        in.size(), out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0xFF, 0, 0xFF, 0xFF, 1}));
}

// 2.2 and 2.3 unsynchronise the whole tag; 2.4 unsynchronises frames only, and its tag flag
// says that every frame is. FF 00 E0 inside the title must read as FF E0 (ÿà in Windows-1252)
// with the album after it intact.
TEST(Id3v2, UnsynchronisationByVersion) {
    const std::string title = Text(0, "a\xFF\xE0"
                                      "b");
    const std::string album = Text(0, "Alb");
    struct TCase {
        const char* Name;
        std::string Tag;
    } cases[] = {
        {"2.2 tag-wide", Id3v2(2, Unsync(Frame22("TT2", title) + Frame22("TAL", album)), 0x80)},
        {"2.3 tag-wide", Id3v2(3, Unsync(Frame23("TIT2", title) + Frame23("TALB", album)), 0x80)},
        {"2.4 frame flag",
         Id3v2(4, Frame24("TIT2", Unsync(title), 0, 0x02) + Frame24("TALB", album, 0, 0x02))},
        {"2.4 frame and tag flags",
         Id3v2(4, Frame24("TIT2", Unsync(title), 0, 0x02) + Frame24("TALB", album, 0, 0x02), 0x80)},
        {"2.4 tag flag alone",
         Id3v2(4, Frame24("TIT2", Unsync(title)) + Frame24("TALB", album), 0x80)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto tag = Read(c.Tag + kMpeg);
        EXPECT_EQ(tag->Texts.Title(), u"a\u00FF\u00E0b");
        EXPECT_EQ(tag->Texts.Album(), u"Alb");
        EXPECT_EQ(tag->FileInfo.BitRateKbps, 128);
    }
}

TEST(Id3v2, UnsynchronisationAcrossPieceBoundaries) {
    // The FF ends the first 61440-byte piece of the body and its 00 begins the next one.
    const std::string head = Frame23("TIT2", Text(0, "Title")) + "PRIV";
    const std::size_t privData = kUnsyncPiece - head.size() - 6 - 1;
    std::string priv = BE32(static_cast<std::uint32_t>(privData) + 2) + Bytes({0, 0}) +
                       std::string(privData, 'p') + "\xFF" + std::string(1, '\0') + "\xE0";
    const std::string body = head + priv + Frame23("TALB", Text(0, "Album"));
    ASSERT_EQ(static_cast<unsigned char>(body[kUnsyncPiece - 1]), 0xFF);
    ASSERT_EQ(body[kUnsyncPiece], '\0');
    auto tag = Read(Id3v2(3, body, 0x80));
    ASSERT_EQ(tag->Frames.size(), 3u);
    EXPECT_EQ(tag->Texts.Album(), u"Album");
}

TEST(Id3v2, FailuresEndTheWholeOpen) {
    struct TCase {
        const char* Name;
        std::string Bytes;
        const char* Message;
    } cases[] = {
        {"text encoding 7",
         Id3v2(3, Frame23("TALB", Text(0, "Album")) + Frame23("TIT2", Text(7, "x"))) + kMpeg,
         "Unknown encoding"},
        {"comment encoding 4", Id3v2(3, Frame23("COMM", Text(4, "eng"))) + kMpeg,
         "Unknown encoding"},
        {"size past the end", Id3v2(3, Frame23("TIT2", Text(0, "x"))).substr(0, 15),
         "Stream read error"},
        {"size past the end, unsynchronised",
         Id3v2(3, Frame23("TIT2", Text(0, "x")), 0x80).substr(0, 15),
         "Could not read data from stream"},
        // 0x0FFFFFFF declared over a few bytes: refused before the body is allocated.
        {"largest size", "ID3" + Bytes({3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}) + kMpeg,
         "Stream read error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJvID3v2 tag;
        EXPECT_EQ(OpenError(c.Bytes, tag), c.Message);
        EXPECT_FALSE(tag.Active());
        EXPECT_EQ(tag.Texts.Title(), u"");
        EXPECT_EQ(tag.Texts.Album(), u"");
        EXPECT_EQ(tag.FileInfo.HeaderOffset, -1);
    }
}

TEST(Id3v2, WhereTheStreamScanStarts) {
    // Short file: not examined at all, even though it holds a sync pair.
    auto shortFile = Read(MpegHeader(3, 1, 9, 0) + "abc");
    EXPECT_TRUE(shortFile->Active());
    EXPECT_FALSE(shortFile->Header.HasTag);
    EXPECT_EQ(shortFile->FileInfo.HeaderOffset, -1);

    auto noTag = Read(kMpeg + kMpeg);
    EXPECT_FALSE(noTag->Header.HasTag);
    EXPECT_EQ(noTag->FileInfo.HeaderOffset, 0);
    EXPECT_EQ(noTag->FileInfo.BitRateKbps, 128);

    for (int major : {0, 1, 5}) {
        SCOPED_TRACE(major);
        const std::string body = Frame23("TIT2", Text(0, "Title")) + std::string(10, '\0');
        auto tag = Read(Id3v2(major, body) + kMpeg);
        EXPECT_TRUE(tag->Header.HasTag);
        EXPECT_TRUE(tag->Frames.empty());
        EXPECT_EQ(tag->FileInfo.HeaderOffset, static_cast<std::int64_t>(10 + body.size()));
    }
    auto five = Read(Id3v2(5, ""));
    EXPECT_EQ(five->Version(), iveHigherThan2_4);
}

TEST(Id3v2, PicturesAreKeptPerTypeInMemory) {
    const std::string jpeg = Bytes({0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
    const std::string body = Frame23("APIC", Text(0, std::string("image/jpeg\0", 11)) + Bytes({3}) +
                                                 std::string("front\0", 6) + jpeg) +
                             Frame23("APIC", Text(0, std::string("image/png\0", 10)) + Bytes({3}) +
                                                 std::string("\0", 1) + "second") +
                             Frame23("APIC", Text(0, std::string("-->\0", 4)) + Bytes({4}) +
                                                 std::string("\0", 1) + "http://x") +
                             Frame23("APIC", Text(9, "x"));
    TJvID3v2 tag;
    // The last frame's bad encoding fails the open; without it the pictures load.
    EXPECT_EQ(OpenError(Id3v2(3, body), tag), "Unknown encoding");
    const std::string good = body.substr(0, body.size() - 12);
    auto ok = Read(Id3v2(3, good));
    const TJvID3Picture& front = ok->Images[ptCoverFront];
    EXPECT_EQ(front.MIMEType, "image/jpeg");
    ASSERT_FALSE(front.Empty());
    EXPECT_EQ(std::string(front.Data->begin(), front.Data->end()), jpeg);
    EXPECT_TRUE(ok->Images[ptCoverBack].Empty()); // a link, not a picture
    EXPECT_TRUE(ok->Images[ptOther].Empty());

    // The first frame of a type decides it, even without data; types past the last are no type.
    const auto pic = [&](int type, const std::string& data) {
        return Frame23("APIC", Text(0, std::string("image/jpeg\0", 11)) + Bytes({type}) +
                                   std::string("\0", 1) + data);
    };
    auto firstEmpty = Read(Id3v2(3, pic(3, "") + pic(3, jpeg) + pic(21, jpeg) + pic(0, jpeg)));
    EXPECT_TRUE(firstEmpty->Images[ptCoverFront].Empty());
    EXPECT_FALSE(firstEmpty->Images[ptOther].Empty());

    auto v22 =
        Read(Id3v2(2, Frame22("PIC", Text(0, "JPG") + Bytes({3}) + std::string("\0", 1) + jpeg)));
    EXPECT_EQ(v22->Images[ptCoverFront].MIMEType, "JPG");
    EXPECT_FALSE(v22->Images[ptCoverFront].Empty());
}

// The picture shown for a file: the front cover before any other type, else the first one
// that holds a picture; links, empty, cut and oversized ones never count.
TEST(Id3v2, CoverPictureTakesTheFrontCoverFirst) {
    const auto apic = [](int type, const std::string& data, const char* mime = "image/jpeg") {
        return Frame23("APIC", Text(0, std::string(mime) + '\0') + Bytes({type}) +
                                   std::string("\0", 1) + data);
    };
    const std::string big(kMaxStoredPicture + 1, 'b');
    const std::string cut = apic(3, "cutcut");
    struct TCase {
        const char* Name;
        std::string Tag;
        std::string Data; // "" for none
        int Position;
    };
    const TCase cases[] = {
        {"OtherTypeFirst", Id3v2(3, apic(0, "other") + apic(4, "back") + apic(3, "front")), "front",
         2},
        {"NoFrontTakesTheFirst", Id3v2(3, apic(4, "back") + apic(0, "other")), "back", 0},
        {"EmptyFrontIsNone", Id3v2(3, apic(3, "") + apic(8, "artist")), "artist", 1},
        {"LinkIsNone", Id3v2(3, apic(3, "http://x", "-->") + apic(5, "leaf")), "leaf", 1},
        {"Oversized", Id3v2(3, apic(3, big) + apic(6, "media")), "media", 1},
        {"Version22", Id3v2(2, Frame22("PIC", Text(0, "PNG") + Bytes({3}) + '\0' + "png")), "png",
         0},
        {"Version24",
         Id3v2(4,
               Frame24("APIC", Text(3, std::string("image/png\0", 10)) + Bytes({3}) + '\0' + "v4")),
         "v4", 0},
        // The file ends inside the tag: the open fails, and with it every picture.
        {"Truncated", Cut(Id3v2(3, apic(0, "first") + cut), 3), "", -1},
        // A frame whose size runs past the tag's end.
        {"FrameSizePastTag",
         Id3v2(3, apic(4, "back") + cut.substr(0, 4) + BE32(1000) + cut.substr(8)), "back", 0},
        {"NoPictures", Id3v2(3, Frame23("TIT2", Text(0, "Title"))), "", -1},
        {"NoTag", std::string(64, '\0'), "", -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::unique_ptr<TJvID3v2> tag;
        try {
            tag = Read(c.Tag);
        } catch (const std::exception&) {
            tag = std::make_unique<TJvID3v2>(); // a failed open has no picture either
        }
        const TStoredPicture p = tag->CoverPicture();
        EXPECT_EQ(std::string(p.Data.begin(), p.Data.end()), c.Data);
        EXPECT_EQ(p.Position, c.Position);
    }
}

TEST(Id3v2, FileNameChangeClosesAndTextsNeedAnActiveTag) {
    TJvID3v2 tag;
    EXPECT_EQ(tag.Texts.Title(), u"");
    const std::string bytes = Id3v2(3, Frame23("TIT2", Text(0, "Title")));
    TMemoryByteSource src(bytes);
    tag.OpenSource(src);
    EXPECT_EQ(tag.Texts.Title(), u"Title");
    // An active tag reopens with the new name, which fails here and leaves it closed.
    try {
        tag.SetFileName("/nonexistent/velodra/file.mp3");
        ADD_FAILURE() << "opened a missing file";
    } catch (const EByteSourceError& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Cannot open file \"/nonexistent/velodra/file.mp3\". ", 0),
            0u);
    }
    EXPECT_FALSE(tag.Active());
    EXPECT_TRUE(tag.Frames.empty());
    EXPECT_EQ(tag.Texts.Title(), u"");
}

TEST(Id3v2Types, FrameTableAndLookups) {
    std::size_t count = 0;
    const TJvID3FrameDef* defs = FrameDefs(count);
    EXPECT_EQ(count + 3, 97u);
    // Every listed name finds its own row.
    for (std::size_t i = 0; i < count; ++i) {
        if (*defs[i].ID22) {
            EXPECT_EQ(FrameIDFromName(defs[i].ID22), defs[i].ID) << defs[i].ID22;
        }
        if (*defs[i].ID23) {
            EXPECT_EQ(FrameIDFromName(defs[i].ID23), defs[i].ID) << defs[i].ID23;
        }
    }
    EXPECT_EQ(FrameIDFromName(std::string("\0\0\0\0", 4)), fiPaddingFrame);
    EXPECT_EQ(FrameIDFromName("TI_2"), fiErrorFrame);
    EXPECT_EQ(FrameIDFromName("TIT9"), fiUnknownFrame);
    EXPECT_EQ(FrameClassOf(fiTitle), fcText);
    EXPECT_EQ(FrameClassOf(fiYear), fcNumber);
    EXPECT_EQ(FrameClassOf(fiMetaCompression), fcSkip);
    EXPECT_TRUE(ClassHasEncoding(fcTermsOfUse));
    EXPECT_FALSE(ClassHasEncoding(fcURL));
    EXPECT_EQ(VersionFromMajor(1), iveLowerThan2_2);
    EXPECT_EQ(VersionFromMajor(4), ive2_4);
}
