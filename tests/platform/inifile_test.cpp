#include "platform/Error.h"
#include "platform/FileName.h"
#include "platform/IniFile.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Readable failure messages for QString (found by argument-dependent lookup).
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace fs = std::filesystem;
using testsupport::TTempDir;
using testsupport::WriteFile;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

QString Q(const std::string& s) {
    return DecodeFileName(std::string_view(s));
}

QByteArray B(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// What the settings save does: each section erased, then its keys written in order.
void SaveLikeSettings(TIniFile& ini, const QString& root, int folder, bool playing) {
    ini.EraseSection("Last");
    ini.WriteString("Last", "Root", root);
    ini.WriteInteger("Last", "Folder", folder);
    ini.WriteBool("Last", "Playing", playing);
    ini.EraseSection("Config");
    ini.WriteBool("Config", "Loop", true);
    ini.WriteInteger("Config", "Opaque", 0);
    ini.EraseSection("Window");
    ini.WriteInteger("Window", "Left", -40);
    ini.WriteBool("Window", "Compact", false);
}

int CountEntries(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

} // namespace

TEST(IniFile, SavedKeysReadBackAndTheTextIsExactlyTheSections) {
    TTempDir dir;
    const std::string path = dir / "velodra.ini";
    {
        TIniFile ini(Q(path));
        SaveLikeSettings(ini, "/home/me/Music", 3, true);
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadAll(path), "[Last]\nRoot=/home/me/Music\nFolder=3\nPlaying=1\n"
                             "[Config]\nLoop=1\nOpaque=0\n"
                             "[Window]\nLeft=-40\nCompact=0\n");
    const TIniFile ini(Q(path));
    EXPECT_TRUE(ini.Readable());
    EXPECT_EQ(ini.ReadString("Last", "Root", "x"), "/home/me/Music");
    EXPECT_EQ(ini.ReadInteger("Last", "Folder", -1), 3);
    EXPECT_TRUE(ini.ReadBool("Last", "Playing", false));
    EXPECT_TRUE(ini.ReadBool("Config", "Loop", false));
    EXPECT_EQ(ini.ReadInteger("Window", "Left", 199), -40);
    EXPECT_FALSE(ini.ReadBool("Window", "Compact", true));
    // Saving again gives the same bytes: erased sections come back at the end, in order.
    TIniFile again(Q(path));
    SaveLikeSettings(again, "/home/me/Music", 3, true);
    again.UpdateFile();
    EXPECT_EQ(QByteArray::fromStdString(ReadAll(path)), again.Text());
    EXPECT_EQ(again.Text(), ini.Text());
    // Nothing but the file is left in the folder.
    EXPECT_EQ(CountEntries(dir.Path), 1);
}

TEST(IniFile, MissingFileSectionAndKeyGiveDefaults) {
    TTempDir dir;
    TIniFile none(Q(dir / "absent.ini"));
    EXPECT_TRUE(none.Readable());
    EXPECT_EQ(none.ReadString("Last", "Root", "def"), "def");
    EXPECT_EQ(none.ReadInteger("Last", "Folder", -1), -1);
    EXPECT_TRUE(none.ReadBool("Config", "PlayNotification", true));

    WriteFile(dir / "a.ini", "[Last]\nRoot=\n[Config]\nLoop=1\n");
    const TIniFile ini(Q(dir / "a.ini"));
    EXPECT_EQ(ini.ReadString("Last", "Root", "def"), ""); // present and empty is not absent
    EXPECT_TRUE(ini.ValueExists("Last", "Root"));
    EXPECT_FALSE(ini.ValueExists("Last", "Folder"));
    EXPECT_EQ(ini.ReadInteger("Last", "Root", 5), 5);
    EXPECT_FALSE(ini.ReadBool("Window", "Loop", false)); // the key of another section
    EXPECT_FALSE(ini.SectionExists("Window"));
}

struct TValueCase {
    const char* Text;
    int Integer;  // read with default 7
    bool IfFalse; // Boolean read with default false
    bool IfTrue;  // Boolean read with default true
};

class IniValues : public ::testing::TestWithParam<TValueCase> {};

TEST_P(IniValues, IntegersAndBooleansParseOrGiveTheDefault) {
    const TValueCase& c = GetParam();
    TTempDir dir;
    WriteFile(dir / "v.ini", std::string("[S]\nK=") + c.Text + "\n");
    const TIniFile ini(Q(dir / "v.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "K", 7), c.Integer) << '"' << c.Text << '"';
    EXPECT_EQ(ini.ReadBool("S", "K", false), c.IfFalse) << '"' << c.Text << '"';
    EXPECT_EQ(ini.ReadBool("S", "K", true), c.IfTrue) << '"' << c.Text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniValues,
    ::testing::Values(
        TValueCase{"2", 2, true, true}, TValueCase{"0", 0, false, false},
        TValueCase{"1", 1, true, true}, TValueCase{"yes", 7, false, true},
        TValueCase{"true", 7, false, true}, TValueCase{"", 7, false, true},
        TValueCase{" 12\t", 12, true, true}, TValueCase{"-1", -1, true, true},
        TValueCase{"+5", 5, true, true}, TValueCase{"12abc", 7, false, true},
        TValueCase{"0x10", 7, false, true}, TValueCase{"1.5", 7, false, true},
        TValueCase{"-", 7, false, true}, TValueCase{"2147483647", INT_MAX, true, true},
        TValueCase{"-2147483648", INT_MIN, true, true}, TValueCase{"2147483648", 7, false, true},
        TValueCase{"99999999999999999999", 7, false, true}, TValueCase{"1\r", 1, true, true}));

TEST(IniFile, NamesMatchWithoutCaseAndLineEndingsAndSpacingAreTolerated) {
    TTempDir dir;
    WriteFile(dir / "c.ini",
              "; comment\r\n  [ last ]  \r\nROOT=/a b \r\n  folder = 4\r\n#Root=/no\r\n");
    const TIniFile ini(Q(dir / "c.ini"));
    EXPECT_EQ(ini.ReadString("Last", "Root", ""), "/a b "); // raw bytes, trailing blank kept
    EXPECT_EQ(ini.ReadInteger("LAST", "Folder", -1), 4);
    EXPECT_EQ(ini.ReadString("Last", "#Root", "none"), "none");
}

TEST(IniFile, EraseAndRewriteKeepsEveryOtherSectionAndDropsExtraKeys) {
    TTempDir dir;
    const std::string path = dir / "velodra.ini";
    const std::string head = "; written by hand\n\n[Other]\nB=2\n; keep me\nA=1\n\n";
    const std::string tail = "[Zeta]\r\nZ=\xff\xfe\r\n\r\n";
    WriteFile(path, head + "[Config]\nExtra=1\nLoop=0\n\n[Window]\nLeft=5\n" + tail +
                        "[config]\nDuplicate=1\n");
    TIniFile ini(Q(path));
    SaveLikeSettings(ini, "/m", 0, false);
    ini.UpdateFile();
    const std::string text = ReadAll(path);
    EXPECT_EQ(text, head + tail +
                        "[Last]\nRoot=/m\nFolder=0\nPlaying=0\n[Config]\nLoop=1\nOpaque=0\n"
                        "[Window]\nLeft=-40\nCompact=0\n");
    const TIniFile back(Q(path));
    EXPECT_EQ(back.ReadInteger("Config", "Extra", -1), -1);
    EXPECT_EQ(back.ReadInteger("Config", "Duplicate", -1), -1);
    EXPECT_EQ(back.ReadInteger("Other", "A", -1), 1);
}

TEST(IniFile, WritesIntoExistingSectionsInPlace) {
    TTempDir dir;
    const std::string path = dir / "w.ini";
    WriteFile(path, "[A]\nX = 1\nY=2\n\n; next\n[B]\nQ=1");
    TIniFile ini(Q(path));
    ini.WriteInteger("a", "x", 9);   // existing key: value replaced, its spelling kept
    ini.WriteInteger("A", "New", 3); // new key: after the last key of its section
    ini.WriteInteger("B", "R", 4);   // a last line without a line break
    ini.WriteInteger("C", "S", 5);   // new section at the end
    EXPECT_EQ(ini.Text(), "[A]\nX =9\nY=2\nNew=3\n\n; next\n[B]\nQ=1\nR=4\n[C]\nS=5\n");
}

TEST(IniFile, NonUtf8PathBytesRoundTripExactly) {
    TTempDir dir;
    const std::string path = dir / "n.ini";
    const std::string rootBytes = "/music/\xe9t\xe9/\xff\x80 caf\xc3\xa9";
    const QString root = Q(rootBytes);
    {
        TIniFile ini(Q(path));
        ini.WriteString("Last", "Root", root);
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadAll(path), "[Last]\nRoot=" + rootBytes + "\n");
    const QString back = TIniFile(Q(path)).ReadString("Last", "Root", "");
    EXPECT_EQ(back, root);
    EXPECT_EQ(EncodeFileName(back), B(rootBytes));
}

TEST(IniFile, WhatCannotLiveOnOneLineIsRefusedAndChangesNothing) {
    TIniFile ini(QStringLiteral("/nonexistent/x.ini"));
    ini.WriteInteger("S", "K", 1);
    const QByteArray before = ini.Text();
    EXPECT_THROW(ini.WriteString("S", "K", "a\nb"), EVelodraError);
    EXPECT_THROW(ini.WriteString("S", "K", "a\rb"), EVelodraError);
    EXPECT_THROW(ini.WriteString("S", "K=", "v"), EVelodraError);
    EXPECT_THROW(ini.WriteString("S", "", "v"), EVelodraError);
    EXPECT_THROW(ini.WriteString("S", "[K", "v"), EVelodraError);
    EXPECT_THROW(ini.WriteString("S]", "K", "v"), EVelodraError);
    EXPECT_THROW(ini.WriteString(" S", "K", "v"), EVelodraError);
    EXPECT_EQ(ini.Text(), before);
}

TEST(IniFile, GarbageNulBytesAndAMegabyteLineReadWithoutHarm) {
    TTempDir dir;
    std::mt19937 rng(7);
    std::string garbage(200000, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    const std::string huge(1 << 20, 'x');
    const std::string path = dir / "g.ini";
    WriteFile(path, garbage + "\n[Last]\nRoot=" + huge + "\nFolder=3\nNul=a" +
                        std::string(1, '\0') + "b\n[Config]\n" + std::string("Loop=\0\n", 7));
    TIniFile ini(Q(path));
    ASSERT_TRUE(ini.Readable());
    EXPECT_EQ(ini.ReadString("Last", "Root", "").size(), qsizetype(huge.size()));
    EXPECT_EQ(ini.ReadInteger("Last", "Folder", -1), 3);
    EXPECT_EQ(ini.ReadBytes("Last", "Nul", {}), QByteArray("a\0b", 3));
    EXPECT_TRUE(ini.ReadBool("Config", "Loop", true));
    // The garbage is someone's text too: a save keeps it byte for byte.
    SaveLikeSettings(ini, "/m", 1, false);
    ini.UpdateFile();
    const std::string text = ReadAll(path);
    EXPECT_EQ(text.substr(0, garbage.size()), garbage);
    EXPECT_EQ(TIniFile(Q(path)).ReadInteger("Last", "Folder", -1), 1);

    // Pure binary noise without a single usable line.
    WriteFile(path, garbage);
    const TIniFile noise(Q(path));
    EXPECT_EQ(noise.ReadInteger("Last", "Folder", -1), -1);
}

// Something in the file's place that cannot be read: defaults, and no save over it.
TEST(IniFile, UnreadableThingsGiveDefaultsAndAreNotOverwritten) {
    TTempDir dir;
    const std::string asDir = dir / "dir.ini";
    fs::create_directories(asDir + "/inner");
    const std::string fifo = dir / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir / "big.ini";
    WriteFile(big, "[Last]\nFolder=3\n" + std::string(TIniFile::MaxFileSize, ';'));

    for (const std::string& p : {asDir, fifo, big}) {
        SCOPED_TRACE(p);
        TIniFile ini(Q(p)); // a FIFO must not block here
        EXPECT_FALSE(ini.Readable());
        EXPECT_EQ(ini.ReadInteger("Last", "Folder", -1), -1);
        SaveLikeSettings(ini, "/m", 0, false);
        EXPECT_THROW(ini.UpdateFile(), EVelodraError);
    }
    EXPECT_TRUE(fs::is_directory(asDir + "/inner"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(fs::file_size(big), TIniFile::MaxFileSize + 16);
    // The report says why the big file was left alone.
    try {
        TIniFile(Q(big)).UpdateFile();
        ADD_FAILURE() << "saved over a file too large to be read";
    } catch (const EVelodraError& e) {
        EXPECT_TRUE(e.Message.startsWith("Could not write to '")) << e.Message.toStdString();
        EXPECT_TRUE(e.Message.contains("\r\rThe file is larger than 4 MiB, too large to be a "
                                       "settings file, so it was left alone."))
            << e.Message.toStdString();
    }
    EXPECT_EQ(CountEntries(dir.Path), 3); // no temporary files left behind
}

TEST(IniFile, UnreadablePermissionsGiveDefaults) {
    // Root reads any file whatever its mode, so there is nothing to observe then; the directory
    // and FIFO cases above cover unreadable files for root.
    if (geteuid() == 0) GTEST_SKIP() << "running as root";
    TTempDir dir;
    const std::string path = dir / "locked.ini";
    WriteFile(path, "[Last]\nFolder=3\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    TIniFile ini(Q(path));
    EXPECT_FALSE(ini.Readable());
    EXPECT_EQ(ini.ReadInteger("Last", "Folder", -1), -1);
    EXPECT_THROW(ini.UpdateFile(), EVelodraError);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadAll(path), "[Last]\nFolder=3\n");
}

TEST(IniFile, AFailedSaveThrowsAndKeepsTheOldFile) {
    TTempDir dir;
    // A folder component that is a file: no folder can be made there, not even by root.
    WriteFile(dir / "plain", "x");
    TIniFile blocked(Q(dir / "plain/sub/v.ini"));
    blocked.WriteInteger("S", "K", 1);
    try {
        blocked.UpdateFile();
        ADD_FAILURE() << "no error";
    } catch (const EVelodraError& e) {
        EXPECT_TRUE(e.Message.startsWith("Could not write to '")) << e.Message.toStdString();
    }
    EXPECT_EQ(ReadAll(dir / "plain"), "x");

    if (geteuid() != 0) { // root may write into a read-only folder
        const std::string path = dir / "ro/v.ini";
        WriteFile(path, "[S]\nK=old\n");
        TIniFile ini(Q(path));
        ini.WriteString("S", "K", "new");
        ASSERT_EQ(chmod((dir / "ro").c_str(), 0500), 0);
        EXPECT_THROW(ini.UpdateFile(), EVelodraError);
        chmod((dir / "ro").c_str(), 0700);
        EXPECT_EQ(ReadAll(path), "[S]\nK=old\n");
        EXPECT_EQ(CountEntries(dir / "ro"), 1);
    }
}

TEST(IniFile, SaveCreatesTheFolderKeepsTheModeAndNeverGoesThroughALinkOrPastTheLimit) {
    TTempDir dir;
    TIniFile fresh(Q(dir / "new/config/v.ini"));
    fresh.WriteInteger("S", "K", 1);
    fresh.UpdateFile();
    EXPECT_EQ(ReadAll(dir / "new/config/v.ini"), "[S]\nK=1\n");

    const std::string real = dir / "real.ini", link = dir / "link.ini";
    WriteFile(real, "[S]\nK=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, link);
    // Read through the link, never saved through it: it may lead anywhere (to /etc/passwd under
    // sudo).
    TIniFile ini(Q(link));
    EXPECT_EQ(ini.ReadInteger("S", "K", 0), 1);
    ini.WriteInteger("S", "K", 2);
    EXPECT_THROW(ini.UpdateFile(), EVelodraError);
    EXPECT_TRUE(fs::is_symlink(link));
    TIniFile(Q(real)).UpdateFile();
    EXPECT_EQ(ReadAll(real), "[S]\nK=1\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // A file of exactly the limit is read, but a save never grows it past what is read.
    WriteFile(real, std::string(TIniFile::MaxFileSize, ';'));
    TIniFile full(Q(real));
    EXPECT_TRUE(full.Readable());
    full.WriteInteger("S", "K", 2);
    EXPECT_THROW(full.UpdateFile(), EVelodraError);
    EXPECT_EQ(fs::file_size(real), TIniFile::MaxFileSize);
}

// A process saving in a loop is killed at random moments: whatever moment it dies, the file is
// one complete save, never a torn one.
TEST(IniFileCrash, KilledDuringSavesLeavesACompleteFile) {
    TTempDir dir;
    const std::string path = dir / "velodra.ini";
    const std::string other = "[Other]\n; hand-made\nA=1\n\n";
    const auto expected = [&](int n) {
        const std::string s = std::to_string(n);
        return other + "[Last]\nCounter=" + s + "\nRoot=/music/" + s + "/" +
               std::string(3000, 'r') + "\n[Config]\nLoop=" + s + "\n[Window]\nLeft=" + s + "\n";
    };
    WriteFile(path, expected(0));

    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> delayUs(0, 4000);
    int changes = 0, last = 0;
    for (int round = 0; round < 200; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            try {
                for (int n = round * 100000 + 1;; ++n) {
                    TIniFile ini(Q(path));
                    const QByteArray s = QByteArray::number(n);
                    ini.EraseSection("Last");
                    ini.WriteBytes("Last", "Counter", s);
                    ini.WriteBytes("Last", "Root", "/music/" + s + "/" + QByteArray(3000, 'r'));
                    ini.EraseSection("Config");
                    ini.WriteBytes("Config", "Loop", s);
                    ini.EraseSection("Window");
                    ini.WriteBytes("Window", "Left", s);
                    ini.UpdateFile();
                    // After the first save the parent may strike: the kill then falls into
                    // the saving loop however busy the machine is.
                    if (ready[1] >= 0 && write(ready[1], "x", 1) == 1) {
                        close(ready[1]);
                        ready[1] = -1;
                    }
                }
            } catch (...) {
            }
            _exit(3);
        }
        close(ready[1]);
        pollfd wait{ready[0], POLLIN, 0};
        const bool saved = poll(&wait, 1, 10000) == 1;
        close(ready[0]);
        if (saved) usleep(static_cast<useconds_t>(delayUs(rng)));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(saved) << "no save within 10 s in round " << round;
        ASSERT_TRUE(WIFSIGNALED(status))
            << "the saving child stopped on its own in round " << round;

        const TIniFile ini(Q(path));
        ASSERT_TRUE(ini.Readable());
        const int n = ini.ReadInteger("Last", "Counter", -1);
        ASSERT_GE(n, 0) << "round " << round;
        ASSERT_EQ(ReadAll(path), expected(n)) << "round " << round;
        if (n != last) ++changes;
        last = n;
    }
    // Every round completed a save of its own before it was killed.
    EXPECT_EQ(changes, 200);
    // A kill can leave the temporary file of the save it interrupted; the next complete save
    // removes such leftovers.
    TIniFile(Q(path)).UpdateFile();
    EXPECT_EQ(CountEntries(dir.Path), 1);
}

TEST(IniFileLocation, ConfigFolderFollowsXdgThenHome) {
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldHome = qgetenv("HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(ConfigFolder(), "/tmp/cfg/");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg/");
    EXPECT_EQ(ConfigFolder(), "/tmp/cfg/");
    qputenv("XDG_CONFIG_HOME", "relative/cfg"); // not absolute: ignored
    EXPECT_EQ(ConfigFolder(), "/home/someone/.config/");
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(ConfigFolder(), "/home/someone/.config/");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/\xe9t\xe9/");
    EXPECT_EQ(EncodeFileName(ConfigFolder()), QByteArray("/home/\xe9t\xe9/.config/"));
    // The executable's own name with ".ini".
    EXPECT_EQ(SettingsFileName(), ConfigFolder() + "platform_inifile_test.ini");

    qputenv("HOME", oldHome);
    if (hadXdg) qputenv("XDG_CONFIG_HOME", oldXdg);
}
