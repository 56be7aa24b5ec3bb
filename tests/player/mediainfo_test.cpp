// How the readers fill MediaInfo: text cleaning, ID3v1/ID3v2 precedence, stream properties,
// failures that keep earlier values, the WMA branch, dispatch by extension, seconds to ms.
#include "platform/FileName.h"
#include "player/UMediaInfo.h"
#include "support/TestAudio.h"
#include "tags/Builders.h"

#include <QBuffer>
#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace build;
using namespace std::string_literals;

namespace {
const std::string kHeader128 = MpegHeader(3, 1, 9, 0, 1);
std::string Audio(int frames = 120) {
    std::string s;
    for (int i = 0; i < frames; ++i)
        s += MpegFrame(kHeader128, 418);
    return s;
}

// Title, artist, album, track, year, genre and comment in one line.
std::string Tags(const TMediaInfo& m) {
    const QStringList f{m.Title, m.Artist, m.Album,  QString::number(m.Track),
                        m.Year,  m.Genre,  m.Comment};
    return f.join(u'|').toStdString();
}

class MediaInfoFiles : public testing::Test {
protected:
    TMediaInfo Read(const std::string& name, const std::string& bytes, TMediaInfo info = {}) {
        testsupport::WriteFile(Dir / name, bytes);
        return Read(name, info);
    }
    // A file already in the folder.
    TMediaInfo Read(const std::string& name, TMediaInfo info = {}) {
        info.FilePath = DecodeFileName(Dir / name);
        ReadStreamInfo(info);
        return info;
    }
    testsupport::TTempDir Dir;
};
} // namespace

TEST(CleanTagText, Normalises) {
    const std::pair<QString, QString> cases[] = {
        {"a\tb c   d", "a b c d"},
        {"  x  ", "x"},
        {"\t\t  ", ""},
        {QString("\x01x\x1f"), "x"},
        {"one  \t two", "one two"},
        {"", ""},
        {QString::fromUtf16(u"\u00E9t\u00E9"), QString::fromUtf16(u"\u00E9t\u00E9")},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CleanTagText(in), out) << in.toStdString();
}

TEST_F(MediaInfoFiles, Id3v2TitleAndAlbumOverId3v1) {
    const std::string v2 = Id3v2(3, Frame23("TIT2", Text(0, "  New\tTitle ")) +
                                        Frame23("TALB", Text(1, "\xFF\xFE" + Utf16LE("Alb"))));
    const auto info =
        Read("a.mp3", v2 + Audio() + Id3v1("Old", "Art  ist", "OldAlbum", "1999", "Com ", 5, 17));
    EXPECT_EQ(info.Title, "New Title");
    EXPECT_EQ(info.Album, "Alb");
    EXPECT_EQ(info.Artist, "Art ist"); // no TPE1: the ID3v1 values stay
    EXPECT_EQ(info.Year, "1999");
    EXPECT_EQ(info.Comment, "Com");
    EXPECT_EQ(info.Genre, "Rock");
    EXPECT_EQ(info.Track, 5);
    EXPECT_EQ(info.ChannelMode, "Joint Stereo");
    EXPECT_EQ(info.BitRate, 128);
    EXPECT_EQ(info.SampleRate, 44100u);
    // CBR with both tags: whole seconds of the audio bytes, then ms.
    const std::int64_t audioBytes = 120 * 418;
    EXPECT_EQ(info.Duration, static_cast<std::int32_t>(audioBytes * 8 / 128000) * 1000);
}

// Artist, track, year, genre and comment from ID3v2, each where its text is not empty, over
// those of ID3v1 (Art, 5, 1999, Rock, Com).
TEST_F(MediaInfoFiles, Id3v2FieldsOverId3v1) {
    const std::pair<std::string, const char*> cases[] = {
        {Id3v2(3, Frame23("TPE1", Text(0, "Band\tOne")) + Frame23("TRCK", Text(0, "3/12")) +
                      Frame23("TYER", Text(0, "2004")) + Frame23("TCON", Text(0, "(8)")) +
                      Frame23("COMM", Text(0, "engiTunNORM\0 0000"s)) +
                      Frame23("COMM", Text(0, "eng\0Fine one"s))),
         "T|Band One||3|2004|Jazz|Fine one"},
        {Id3v2(4, Frame24("TPE1", Text(3, "First\0Second"s)) +
                      Frame24("TDRC", Text(0, "2011-05-06")) +
                      Frame24("TCON", Text(0, "(4)Eurodisco")) +
                      Frame24("COMM", Text(0, "XXXeng\0Desc"s))),
         "T|First||5|2011|Eurodisco|Desc"},
        {Id3v2(3, Frame23("TPE1", Text(0, " \t ")) + Frame23("TRCK", Text(0, "x/2")) +
                      Frame23("TYER", Text(0, "")) + Frame23("TCON", Text(0, "")) +
                      Frame23("COMM", Text(0, "engNote\0C"s))),
         "T|Art||5|1999|Rock|Com"},
    };
    for (const auto& [tag, fields] : cases)
        EXPECT_EQ(Tags(Read("f.mp3", tag + Audio() + Id3v1("T", "Art", "", "1999", "Com", 5, 17))),
                  fields);
}

TEST_F(MediaInfoFiles, BlankId3v2TitleKeepsTheId3v1One) {
    const std::string v2 = Id3v2(4, Frame24("TIT2", Text(3, " \t  ")));
    const auto info = Read("b.mp3", v2 + Audio() + Id3v1("Old \x80", "", "", "", "", 0, 255));
    EXPECT_EQ(info.Title, QString::fromUtf16(u"Old \u20AC"));
    EXPECT_EQ(info.Genre, "");
    EXPECT_EQ(info.Track, 0);
}

TEST_F(MediaInfoFiles, FailedId3v2OpenKeepsThePreviousStreamValues) {
    TMediaInfo before;
    before.ChannelMode = "Dual Channel";
    before.BitRate = 99;
    before.SampleRate = 12345;
    const std::string v2 =
        Id3v2(3, Frame23("TALB", Text(0, "Album")) + Frame23("TIT2", Text(7, "x")));
    const auto info = Read("c.mp3", v2 + Audio() + Id3v1("Old", "A", "B", "", "", 0, 0), before);
    EXPECT_EQ(info.ChannelMode, "Dual Channel");
    EXPECT_EQ(info.BitRate, 99);
    EXPECT_EQ(info.SampleRate, 12345u);
    EXPECT_EQ(info.Duration, 0);
    EXPECT_EQ(info.Title, "Old");
    EXPECT_EQ(info.Album, "B");
    EXPECT_EQ(info.Genre, "Blues");
}

TEST_F(MediaInfoFiles, RateMarkersAndMissingFramesGiveZero) {
    struct TCase {
        const char* Name;
        std::string Bytes;
        std::uint16_t BitRate;
        std::uint32_t SampleRate;
    } cases[] = {
        {"free format", std::string(200, 'x') + MpegFrame(MpegHeader(3, 1, 0, 0, 3), 500), 0,
         44100},
        {"invalid index", MpegFrame(MpegHeader(3, 1, 15, 0, 3), 500), 0, 44100},
        {"reserved rate", XingFrame(MpegHeader(3, 1, 9, 3, 3), 21, 10, 5000, 500), 128, 0},
        {"no frame", std::string(5000, 'x'), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMediaInfo before;
        before.BitRate = 7;
        before.SampleRate = 7;
        const auto info = Read("d.mp3", c.Bytes, before);
        EXPECT_EQ(info.BitRate, c.BitRate);
        EXPECT_EQ(info.SampleRate, c.SampleRate);
        EXPECT_EQ(info.Duration, 0);
    }
    EXPECT_EQ(Read("e.mp3", std::string(5000, 'x')).ChannelMode, "Stereo");
}

TEST_F(MediaInfoFiles, Wma) {
    const std::string objects =
        AsfFileProperties(128000, 231000000, 3100) + AsfStreamProperties(1, 96000, 16062) +
        AsfContentDescription(Utf16LE("Wma\tTitle", true), Utf16LE("Band", true), "", "", "") +
        AsfExtendedContentDescription({{"WM/AlbumTitle", 0, Utf16LE("Album", true)},
                                       {"WM/TrackNumber", 3, LE32(3)},
                                       {"WM/Year", 0, Utf16LE("2004", true)},
                                       {"WM/Genre", 0, Utf16LE("Jazz", true)}});
    std::string file = AsfHeader(objects, 4);
    file.resize(1600000, '\0');
    const auto info = Read("w.WMA", file);
    EXPECT_EQ(info.Title, "Wma Title");
    EXPECT_EQ(info.Artist, "Band");
    EXPECT_EQ(info.Album, "Album");
    EXPECT_EQ(info.Track, 3);
    EXPECT_EQ(info.Year, "2004");
    EXPECT_EQ(info.Genre, "Jazz");
    EXPECT_EQ(info.ChannelMode, "Mono");
    EXPECT_EQ(info.SampleRate, 96000u); // not cut to 16 bits
    EXPECT_EQ(info.BitRate, 128);
    EXPECT_EQ(info.Duration, 20000); // the play duration, not the estimate of 100 s

    TMediaInfo before;
    before.ChannelMode = "Stereo";
    before.BitRate = 128;
    before.Title = "kept?";
    const auto bad = Read("bad.wma", std::string(300, 'x'), before);
    EXPECT_EQ(bad.ChannelMode, "Unknown");
    EXPECT_EQ(bad.BitRate, 0);
    EXPECT_EQ(bad.SampleRate, 0u);
    EXPECT_EQ(bad.Duration, 0);
    EXPECT_EQ(bad.Title, "");
}

TEST_F(MediaInfoFiles, LongWmaRoundsToWholeSeconds) {
    // A sparse file of 314572800 bytes at 128000 bit/s lasts 19660.8 s.
    const std::string path = Dir / "long.wma";
    testsupport::WriteFile(
        path, AsfHeader(AsfFileProperties(128000) + AsfStreamProperties(2, 44100, 16000), 2));
    ASSERT_EQ(truncate(path.c_str(), 314572800), 0);
    TMediaInfo info;
    info.FilePath = DecodeFileName(path);
    ReadStreamInfo(info);
    EXPECT_EQ(info.Duration, 19661000);
}

TEST_F(MediaInfoFiles, DispatchByExtension) {
    const std::string mp3 = Audio(10) + Id3v1("Song", "", "", "", "", 0, 0);
    EXPECT_EQ(Read("upper.MP3", mp3).Title, "Song");
    TMediaInfo before;
    before.ChannelMode = "Mono";
    const auto other = Read("song.mp3.txt", mp3, before);
    EXPECT_EQ(other.Title, "");
    EXPECT_EQ(other.ChannelMode, "Mono");
    std::filesystem::create_directories(Dir.Path / "folder.mp3");
    EXPECT_EQ(Read("folder.mp3/noext", mp3).Title, "");
    // A name that is not UTF-8 still reaches the file.
    EXPECT_EQ(Read("caf\xE9.mp3", mp3).Title, "Song");
}

TEST_F(MediaInfoFiles, PipeReadsAsNothing) {
    const std::string fifo = Dir / "pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TMediaInfo info;
    info.FilePath = DecodeFileName(fifo);
    ReadStreamInfo(info);
    EXPECT_EQ(info.Title, "");
    EXPECT_EQ(info.Duration, 0);
    EXPECT_EQ(info.BitRate, 0);
}

// A title may begin with either byte-order mark as a character of its own: the readers have
// settled the byte order, so the text keeps the code unit as it is.
TEST_F(MediaInfoFiles, LeadingMarksStayText) {
    for (const char16_t mark : {u'\uFFFE', u'\uFEFF'}) {
        const std::u16string title = std::u16string(1, mark) + u"Title";
        const QString want = QString(QChar(mark)) + "Title";
        SCOPED_TRACE(static_cast<int>(mark));
        const std::pair<const char*, std::string> files[] = {
            {"le.mp3", Id3v2(3, Frame23("TIT2", Text(1, "\xFF\xFE" + Units16(title, false))))},
            {"be.mp3", Id3v2(3, Frame23("TIT2", Text(1, "\xFE\xFF" + Units16(title, true))))},
            {"be24.mp3", Id3v2(4, Frame24("TIT2", Text(2, Units16(title, true))))},
            {"a.wma",
             AsfHeader(AsfFileProperties(128000) + AsfStreamProperties(2, 44100, 16000) +
                           AsfContentDescription(Units16(title + u'\0', false), "", "", "", ""),
                       3)},
        };
        for (const auto& [name, bytes] : files)
            EXPECT_EQ(Read(name, bytes + Audio(4)).Title, want) << name;
    }
}

// FLAC, Ogg, MP4 and WAV through TagLib, on files the encoder wrote with a known tag; names
// whose extension hides what the Ogg stream holds; files it cannot read reset every field.
TEST_F(MediaInfoFiles, OtherFormatsThroughTagLib) {
    // Name (the extension says how it is read), encoder options, channels, rate, channel text.
    const std::tuple<const char*, const char*, int, std::uint32_t, const char*> cases[] = {
        {"a.flac", "-c:a flac", 2, 44100, "Stereo"},
        {"b.ogg", "-c:a libvorbis", 1, 44100, "Single Channel"},
        {"c.opus", "-c:a libopus", 2, 48000, "Stereo"},
        {"opus inside.ogg", "-c:a libopus -f ogg", 1, 48000, "Single Channel"},
        {"flac inside.OGA", "-c:a flac -f ogg", 6, 48000, "6 Channels"},
        {"aac.m4a", "-c:a aac", 2, 44100, "Stereo"},
        {"alac.M4A", "-c:a alac -f ipod", 2, 22050, "Stereo"},
        {"info.wav", "-c:a pcm_s16le", 2, 44100, "Stereo"}};
    for (const auto& [name, args, channels, rate, mode] : cases) {
        ASSERT_TRUE(testsupport::GenerateTone(
            Dir / name, 1.5,
            "-metadata title='Other\tTitle' -metadata artist=Band -metadata album=Disc -metadata "
            "track=4/10 -metadata date=2012 -metadata genre=Ambient -metadata comment=Nice "s +
                args,
            static_cast<int>(rate), channels));
        const TMediaInfo info = Read(name);
        EXPECT_EQ(Tags(info) + "|" + info.ChannelMode.toStdString(),
                  "Other Title|Band|Disc|4|2012|Ambient|Nice|"s + mode);
        EXPECT_EQ(info.SampleRate, rate) << name;
        EXPECT_GT(info.BitRate, 0) << name;
        EXPECT_NEAR(info.Duration, 1500, 100) << name;
    }
    // Unreadable: every field is reset, as for a WMA file.
    for (const auto& [name, bytes] : {std::pair{"noise.flac", std::string(5000, 'x')},
                                      {"unknown codec.opus", "OggS" + std::string(200, '\0')},
                                      {"no index.m4a", "\0\0\0\020ftypM4A \0\0\0\0"s}}) {
        const auto bad = Read(name, bytes, Read("a.flac"));
        EXPECT_EQ(Tags(bad) + bad.ChannelMode.toStdString() + std::to_string(bad.SampleRate) +
                      std::to_string(bad.BitRate + bad.Duration),
                  "|||0|||Unknown00")
            << name;
    }
}

// ---- where a file's picture comes from ----

// The lookup in its order, on real files: the same small cover stored in each way a tagger
// stores it (an MP3 with a back cover first: the front one is taken all the same).
TEST(PictureLookup, FirstFoundWins) {
    testsupport::TTempDir dir;
    const std::string templates = dir / "templates", cover = templates + "/cover.jpg";
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray stored;
    QBuffer buffer(&stored);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG"));
    const std::string jpeg = stored.toStdString();
    testsupport::WriteFile(cover, jpeg);
    const auto apic = [&](int type) {
        return Frame23("APIC", Text(0, "image/jpeg\0"s) + Bytes({type, 0}) + jpeg);
    };
    testsupport::WriteFile(templates + "/t.mp3", Id3v2(3, apic(4) + apic(3)) + Audio(4));
    const std::string wmPicture =
        Bytes({3}) + LE32(stored.size()) + Utf16LE("image/jpeg", true) + Utf16LE("", true) + jpeg;
    testsupport::WriteFile(
        templates + "/t.wma",
        AsfHeader(AsfFileProperties(128000, 10'000'000) + AsfStreamProperties(2, 44100, 16000) +
                      AsfExtendedContentDescription({{"WM/Picture", 1, wmPicture}}),
                  3));
    for (const char* ext : {"flac", "m4a"})
        ASSERT_TRUE(testsupport::GenerateTone(templates + "/t." + ext, 0.3,
                                              "-i '" + cover +
                                                  "' -map 0 -map 1 -c:v copy "
                                                  "-disposition:v attached_pic"));
    // Ogg keeps it as a FLAC picture block in the comments.
    const std::string block = BE32(3) + BE32(10) + "image/jpeg" + BE32(0) + BE32(48) + BE32(48) +
                              BE32(24) + BE32(0) + BE32(static_cast<std::uint32_t>(jpeg.size())) +
                              jpeg;
    ASSERT_TRUE(
        testsupport::GenerateTone(templates + "/t.opus", 0.3,
                                  "-c:a libopus -metadata METADATA_BLOCK_PICTURE=" +
                                      QByteArray::fromStdString(block).toBase64().toStdString()));
    struct TCase {
        const char* Name;
        std::vector<std::string> Files; // "x/": a folder; audio "t.*" keeps a cover, "plain.*" none
        const char* Folder;
        const char* File;   // "" for no file selected
        const char* Chosen; // a picture file, "@" the file's own picture, "" none
    };
    const TCase cases[] = {
        {"FolderJpgAnyCase", {"Folder.jpg", "cover.png", "t.mp3"}, "", "t.mp3", "Folder.jpg"},
        {"ExactFolderJpg", {"FOLDER.JPG", "folder.jpg", "Folder.jpg"}, "", "", "folder.jpg"},
        {"CoverBeforeFront", {"front.jpg", "COVER.PNG"}, "", "", "COVER.PNG"},
        {"NamesInOrder", {"albumart_large.jpg", "album.jpeg", "folder.png"}, "", "", "folder.png"},
        {"ExtensionsInOrder", {"cover.png", "cover.jpeg", "Cover.JPG"}, "", "", "Cover.JPG"},
        {"AlbumArtPrefix", {"AlbumArtSmall.jpg", "desktop.ini"}, "", "", "AlbumArtSmall.jpg"},
        {"NotPictures",
         {"folder.gif", "cover.jpg.part", "xcover.jpg", "f\xc3\xb6lder.jpg", "cover.jpg/",
          "plain.mp3"},
         "",
         "plain.mp3",
         ""},
        {"FileBeforeStored", {"front.jpg", "t.flac"}, "", "t.flac", "front.jpg"},
        {"Mp3", {"t.mp3"}, "", "t.mp3", "@"},
        {"Flac", {"t.flac"}, "", "t.flac", "@"},
        {"Mp4", {"t.m4a"}, "", "t.m4a", "@"},
        {"Opus", {"t.opus"}, "", "t.opus", "@"},
        {"Wma", {"t.wma"}, "", "t.wma", "@"},
        {"StoredBeforeDisc", {"cover.jpg", "CD1/t.mp3"}, "CD1", "CD1/t.mp3", "@"},
        {"DiscParent", {"cover.jpg", "CD 2/plain.mp3"}, "CD 2", "CD 2/plain.mp3", "cover.jpg"},
        {"DiscCase", {"Folder.jpg", "disk2/plain.mp3"}, "disk2", "disk2/plain.mp3", "Folder.jpg"},
        {"DiscOwnFirst", {"cover.jpg", "Disc 1/front.png"}, "Disc 1", "", "Disc 1/front.png"},
        {"NotADisc", {"cover.jpg", "Bonus/plain.mp3"}, "Bonus", "Bonus/plain.mp3", ""},
        {"NotADiscEither", {"cover.jpg", "CD1 extra/"}, "CD1 extra", "", ""},
        {"NothingAtAll", {"plain.mp3"}, "", "plain.mp3", ""},
    };
    const std::string plain = Audio(4);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string album = dir / (std::string("lib/") + c.Name);
        for (const std::string& name : c.Files) {
            const std::string path = album + "/" + name;
            const std::string base = std::filesystem::path(name).filename().string();
            if (name.ends_with('/'))
                std::filesystem::create_directories(path);
            else if (base.starts_with("plain."))
                testsupport::WriteFile(path, plain);
            else if (base.starts_with("t."))
                std::filesystem::create_directories(std::filesystem::path(path).parent_path()),
                    std::filesystem::copy_file(templates + "/" + base, path);
            else
                testsupport::WriteFile(path, stored.toStdString());
        }
        const QString folder = DecodeFileName(*c.Folder ? album + "/" + c.Folder : album);
        const QString file = *c.File ? DecodeFileName(album + "/" + c.File) : QString();
        const auto found = FindPicture(folder, file, &ReadFilePicture);
        const std::string chosen = c.Chosen;
        if (chosen.empty()) {
            EXPECT_FALSE(found) << EncodeFileNameStd(found->Source.File.Path);
            continue;
        }
        ASSERT_TRUE(found);
        if (chosen == "@") {
            EXPECT_EQ(found->Source.File.Path, file);
            EXPECT_EQ(found->Data, stored) << "the stored bytes, as stored";
            EXPECT_GE(found->Source.Position, 0);
        } else {
            EXPECT_EQ(EncodeFileNameStd(found->Source.File.Path), album + "/" + chosen);
            EXPECT_EQ(found->Source.Position, -1);
            EXPECT_TRUE(found->Data.isEmpty());
        }
    }
}

// TagLib's texts are cut as our readers cut theirs, and a text block too big for any tag is
// passed over unread: the file's other values stay.
TEST(OtherFormatBounds, LongTextsAreCutAndHugeBlocksSkipped) {
    const auto flac = [](std::uint32_t count, const std::string& comment) {
        const std::uint64_t bits =
            std::uint64_t{44100} << 44 | std::uint64_t{1} << 41 | std::uint64_t{15} << 36 | 44100;
        std::string vc = LE32(1) + "v" + LE32(count);
        for (std::uint32_t i = 0; i < count; ++i)
            vc += LE32(static_cast<std::uint32_t>(comment.size())) + comment;
        return "fLaC" + Bytes({0}) + BE24(34) + BE16(4096) + BE16(4096) + std::string(6, '\0') +
               BE32(static_cast<std::uint32_t>(bits >> 32)) +
               BE32(static_cast<std::uint32_t>(bits)) + std::string(16, '\0') + Bytes({0x84}) +
               BE24(static_cast<std::uint32_t>(vc.size())) + vc;
    };
    const auto wav = [](const std::string& title) {
        const std::string list =
            "INFO"s + "INAM" + LE32(static_cast<std::uint32_t>(title.size())) + title;
        const std::string body = "WAVE"s + "fmt " + LE32(16) + LE16(1) + LE16(2) + LE32(44100) +
                                 LE32(176400) + LE16(4) + LE16(16) + "LIST" +
                                 LE32(static_cast<std::uint32_t>(list.size())) + list + "data" +
                                 LE32(4) + std::string(4, '\0');
        return "RIFF" + LE32(static_cast<std::uint32_t>(body.size())) + body;
    };
    const std::string a300(300, 'a');
    const std::tuple<TOtherFormat, std::string, std::string> cases[] = {
        {TOtherFormat::Flac, flac(1, "TITLE=" + a300), a300.substr(0, 250)},
        {TOtherFormat::Flac, flac(250'000, "TITLE=word"), ""}, // 3.5 MB of titles
        {TOtherFormat::Wav, wav(a300), a300.substr(0, 250)},
        {TOtherFormat::Wav, wav(std::string(kMaxTextBlock, 'c')), ""},
    };
    for (const auto& [format, bytes, title] : cases) {
        TMemoryByteSource source(bytes);
        TOtherFormatInfo info;
        ASSERT_TRUE(ReadOtherFormat(source, format, info));
        EXPECT_EQ(info.Title, title);
        EXPECT_EQ(info.SampleRate, 44100);
    }
}
