// Reading directories: what counts as a file, what as a folder, and the guards.
#include "platform/DirWalk.h"
#include "platform/FileName.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
using testsupport::TTempDir;

std::vector<std::string> Sorted(const std::vector<QString>& names) {
    std::vector<std::string> out;
    for (const QString& n : names)
        out.push_back(EncodeFileNameStd(n));
    std::sort(out.begin(), out.end());
    return out;
}

QByteArray Bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

struct TListing {
    bool Ok = false;
    std::vector<QString> Files, Dirs, Linked;
};

TListing Read(TDirWalker& w, const std::string& dir, bool splitLinks = false) {
    TListing l;
    l.Ok = w.Read(Bytes(dir), l.Files, l.Dirs, splitLinks ? &l.Linked : nullptr);
    return l;
}
} // namespace

TEST(DirWalkTest, SortsEntriesIntoFilesAndFoldersAndLeavesTheRestOut) {
    TTempDir dir;
    testsupport::WriteFile(dir / "a.mp3", "");
    testsupport::WriteFile(dir / ".hidden.mp3", "");
    testsupport::WriteFile(dir / "sub/inner.mp3", "");
    std::filesystem::create_directories(dir / ".hiddendir");
    ASSERT_EQ(symlink("a.mp3", (dir / "filelink.mp3").c_str()), 0);
    ASSERT_EQ(symlink("sub", (dir / "dirlink").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir / "broken.mp3").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.mp3").c_str(), 0644), 0);
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sock = dir / "sock.mp3";
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sock.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    TDirWalker plain;
    const TListing l = Read(plain, dir.Path.string());
    EXPECT_TRUE(l.Ok);
    EXPECT_EQ(Sorted(l.Files), (std::vector<std::string>{".hidden.mp3", "a.mp3", "filelink.mp3"}));
    EXPECT_EQ(Sorted(l.Dirs), (std::vector<std::string>{".hiddendir", "dirlink", "sub"}));

    TDirWalker split;
    const TListing m = Read(split, dir.Path.string(), true);
    EXPECT_EQ(Sorted(m.Dirs), (std::vector<std::string>{".hiddendir", "sub"}));
    EXPECT_EQ(Sorted(m.Linked), (std::vector<std::string>{"dirlink"}));
    close(s);
}

TEST(DirWalkTest, ADirectoryReachedTwiceIsReadOnce) {
    TTempDir dir;
    testsupport::WriteFile(dir / "A/x.mp3", "");
    ASSERT_EQ(symlink("..", (dir / "A/up").c_str()), 0);
    ASSERT_EQ(symlink((dir / "A").c_str(), (dir / "again").c_str()), 0);
    TDirWalker w;
    EXPECT_TRUE(Read(w, dir.Path.string()).Ok);
    const TListing a = Read(w, dir / "A");
    EXPECT_TRUE(a.Ok);
    EXPECT_EQ(Sorted(a.Files), std::vector<std::string>{"x.mp3"});
    for (const std::string& again : {dir / "A/up", dir / "again", dir / "A/up/A"}) {
        const TListing l = Read(w, again);
        EXPECT_FALSE(l.Ok) << again;
        EXPECT_TRUE(l.Files.empty() && l.Dirs.empty()) << again;
    }
    w.Reset();
    EXPECT_TRUE(Read(w, dir / "again").Ok);
}

TEST(DirWalkTest, MissingOrUnreadableDirectoriesYieldNothing) {
    TTempDir dir;
    TDirWalker w;
    const TListing missing = Read(w, dir / "nope");
    EXPECT_FALSE(missing.Ok);
    testsupport::WriteFile(dir / "file.mp3", "");
    EXPECT_FALSE(Read(w, dir / "file.mp3").Ok);
    if (geteuid() != 0) {
        testsupport::WriteFile(dir / "locked/x.mp3", "");
        chmod((dir / "locked").c_str(), 0);
        const TListing locked = Read(w, dir / "locked");
        chmod((dir / "locked").c_str(), 0755);
        EXPECT_FALSE(locked.Ok);
        EXPECT_TRUE(locked.Files.empty());
    }
}
