// ID3v1 reading and the genre list.
#include "tags/Builders.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2Types.h"

#include <gtest/gtest.h>

using namespace build;

namespace {
TJvID3v1 Read(const std::string& bytes) {
    TJvID3v1 tag;
    TMemoryByteSource source(bytes);
    tag.OpenSource(source);
    return tag;
}
const std::string kAudio(500, '\x55');
} // namespace

TEST(Id3v1, FieldsAsStored) {
    auto tag = Read(kAudio + Id3v1("Song ", "Artist", "Album", "1999", "Nice", 7, 17));
    EXPECT_TRUE(tag.Active());
    EXPECT_TRUE(tag.HasTag());
    EXPECT_EQ(tag.SongName, "Song "); // trailing blank kept
    EXPECT_EQ(tag.Artist, "Artist");
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "Nice");
    EXPECT_EQ(tag.AlbumTrack, 7);
    EXPECT_EQ(tag.GenreAsString(), "Rock");
}

TEST(Id3v1, FieldEdges) {
    const std::string full30(30, 'S');
    auto whole = Read(Id3v1(full30, "", "", "19999", std::string(30, 'C'), -1, 0));
    EXPECT_EQ(whole.SongName, full30);
    EXPECT_EQ(whole.Year, "1999");
    EXPECT_EQ(whole.Comment, std::string(30, 'C')); // byte 125 not 0: no track
    EXPECT_EQ(whole.AlbumTrack, 0);

    std::string t = Id3v1("abc", "", "", "", "", 0, 0);
    t.replace(7, 3, "xyz"); // bytes after the terminator are not part of the name
    EXPECT_EQ(Read(t).SongName, "abc");

    auto v11 = Read(Id3v1("", "", "", "", std::string(30, 'C'), 7, 0));
    EXPECT_EQ(v11.AlbumTrack, 7);
    EXPECT_EQ(v11.Comment, std::string(28, 'C'));
    EXPECT_EQ(Read(Id3v1("", "", "", "", "", 0, 0)).AlbumTrack, 0);
}

TEST(Id3v1, NoTag) {
    std::string lower = kAudio + Id3v1("Song", "A", "B", "2000", "C", 3, 1);
    lower.replace(lower.size() - 128, 3, "tag");
    for (const std::string& bytes : {std::string(100, 'x'), lower, std::string()}) {
        auto tag = Read(bytes);
        EXPECT_TRUE(tag.Active());
        EXPECT_FALSE(tag.HasTag());
        EXPECT_EQ(tag.SongName, "");
        EXPECT_EQ(tag.Comment, "");
        EXPECT_EQ(tag.Genre, 255);
        EXPECT_EQ(tag.AlbumTrack, 0);
        EXPECT_EQ(tag.GenreAsString(), "");
    }
    TJvID3v1 missing;
    missing.SetFileName("/nonexistent/velodra/a.mp3");
    missing.Open(); // an unreadable file has no tag; nothing raised
    EXPECT_TRUE(missing.Active());
    EXPECT_FALSE(missing.HasTag());
}

TEST(Genres, TellingRows) {
    const std::pair<int, const char*> rows[] = {
        {0, "Blues"},      {12, "Other"}, {17, "Rock"},       {67, "Psychedelic"},
        {79, "Hard Rock"}, {80, "Folk"},  {123, "A capella"}, {144, "Trash Metal"},
        {147, "SynthPop"}, {148, ""},     {255, ""},          {-1, ""}};
    for (const auto& [n, name] : rows)
        EXPECT_EQ(GenreName(n), name) << n;
    for (int n = 0; n < kGenreCount; ++n)
        EXPECT_FALSE(GenreName(n).empty()) << n;
}
