// Files are opened read-only and only regular files are read; memory sources stay in bounds.
#include "support/TestAudio.h"
#include "tags/Builders.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2.h"
#include "tags/UWMAfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace build;

TEST(ByteSource, FileReadsAndBounds) {
    testsupport::TTempDir dir;
    const std::string path = dir / "a.bin";
    testsupport::WriteFile(path, "0123456789");
    chmod(path.c_str(), 0444); // read-only is enough
    auto source = OpenByteSource(path);
    EXPECT_EQ(source->Size(), 10);
    char buf[8] = {};
    EXPECT_EQ(source->ReadAt(6, buf, 8), 4u);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(source->ReadAt(10, buf, 1), 0u);
    EXPECT_EQ(source->ReadAt(-1, buf, 1), 0u);

    TMemoryByteSource memory(std::string_view("abc"));
    EXPECT_EQ(memory.ReadAt(2, buf, 8), 1u);
    EXPECT_EQ(memory.ReadAt(1LL << 40, buf, 8), 0u);
}

TEST(ByteSource, MissingFileMessage) {
    try {
        OpenByteSource("/nonexistent/velodra");
        ADD_FAILURE() << "no error";
    } catch (const EByteSourceError& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot open file \"/nonexistent/velodra\". No such file or directory");
    }
}

TEST(ByteSource, NotARegularFileReadsAsNothingAtOnce) {
    testsupport::TTempDir dir;
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A pipe with no writer would block a plain open; a folder cannot be read.
    for (const std::string& path : {fifo, dir.Path.string(), std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(OpenByteSource(path)->Size(), 0);
        TJvID3v2 v2;
        v2.SetFileName(path);
        v2.Open();
        EXPECT_TRUE(v2.Active());
        EXPECT_FALSE(v2.Header.HasTag);
        EXPECT_EQ(v2.FileInfo.HeaderOffset, -1);
        TJvID3v1 v1;
        v1.SetFileName(path);
        v1.Open();
        EXPECT_FALSE(v1.HasTag());
        TWMAfile wma;
        wma.ReadFromFile(path);
        EXPECT_FALSE(wma.Valid);
    }
}

TEST(ByteSource, ReadersOnARealFile) {
    testsupport::TTempDir dir;
    const std::string path = dir / "t.mp3";
    const std::string audio =
        MpegFrame(MpegHeader(3, 1, 9, 0), 418) + MpegFrame(MpegHeader(3, 1, 9, 0), 418);
    testsupport::WriteFile(path, Id3v2(3, Frame23("TIT2", Text(0, "Title"))) + audio +
                                     Id3v1("Old", "Artist", "", "", "", 2, 0));
    TJvID3v2 v2;
    v2.SetFileName(path);
    v2.Open();
    EXPECT_EQ(v2.Texts.Title(), u"Title");
    EXPECT_EQ(v2.FileInfo.BitRateKbps, 128);
    EXPECT_TRUE(v2.FileInfo.HasTrailingTag);
    TJvID3v1 v1;
    v1.SetFileName(path);
    v1.Open();
    EXPECT_EQ(v1.Artist, "Artist");
    EXPECT_EQ(v1.AlbumTrack, 2);
}
