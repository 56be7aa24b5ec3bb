// Files are opened read-only and only regular files are read; memory sources stay in bounds.
#include "support/TestAudio.h"
#include "tags/Builders.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2.h"
#include "tags/UWMAfile.h"

#include <gtest/gtest.h>

#include <random>
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

TEST(ByteSource, OpenTellsWhatItFound) {
    testsupport::TTempDir dir;
    const std::string file = dir / "a.mp3";
    testsupport::WriteFile(file, "x");
    struct TCase {
        std::string Path;
        TOpenKind Kind;
        const char* Reason;
        std::int64_t Size; // -1: no source
    } cases[] = {
        {file, TOpenKind::File, "", 1},
        {dir.Path.string(), TOpenKind::NotRegular, "Is a directory", 0},
        {"/dev/null", TOpenKind::NotRegular, "Not a regular file", 0},
        {dir / "missing.mp3", TOpenKind::Failed, "No such file or directory", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        const TOpenedSource opened = TryOpenByteSource(c.Path);
        EXPECT_EQ(opened.Kind, c.Kind);
        EXPECT_EQ(opened.Reason, c.Reason);
        EXPECT_EQ(opened.Source ? opened.Source->Size() : -1, c.Size);
    }
}

// Reads from the file's cached windows give exactly the file's bytes, whatever the order:
// around the 8 KiB window, the 128-byte tail and reads larger than the window.
TEST(ByteSource, FileWindowsGiveTheFilesBytes) {
    testsupport::TTempDir dir;
    std::mt19937 random(7);
    for (const std::size_t size : {100u, 8192u, 8193u, 8320u, 40000u}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        const std::string path = dir / ("f" + std::to_string(size));
        testsupport::WriteFile(path, bytes);
        auto file = OpenByteSource(path);
        TMemoryByteSource memory(bytes);
        const auto at = [&](std::int64_t back) { return static_cast<std::int64_t>(size) - back; };
        std::vector<std::pair<std::int64_t, std::size_t>> reads = {
            {at(128), 128}, {0, 10},        {10, 300},  {at(128), 3}, {at(130), 10},
            {at(1), 5},     {4000, 3840},   {8190, 10}, {0, 9000},    {at(128), 128},
            {at(200), 50},  {at(8192), 64}, {size, 1},  {-1, 4}};
        for (int i = 0; i < 200; ++i)
            reads.emplace_back(random() % (size + 10), random() % 9000);
        std::vector<char> got(9000), want(9000);
        for (const auto& [offset, count] : reads) {
            SCOPED_TRACE(offset);
            const std::size_t n = file->ReadAt(offset, got.data(), count);
            ASSERT_EQ(n, memory.ReadAt(offset, want.data(), count));
            ASSERT_EQ(std::string(got.data(), n), std::string(want.data(), n));
        }
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
