// The library scan through TFormPlayer: order, partition, filters, what the observer hears,
// abort, errors and the file-system guards, on trees made at test time; and the library value
// itself.
#include "platform/Error.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QFile>
#include <QLocale>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
using testsupport::TTempDir;

std::unique_ptr<TMediaDevice> NoSound() {
    return std::make_unique<testsupport::TScriptedMediaDevice>();
}

// Entries ending in "/" are directories, the others empty files.
void MakeTree(const TTempDir& dir, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        if (e.back() == '/')
            std::filesystem::create_directories(dir / e);
        else
            testsupport::WriteFile(dir / e, "");
    }
}

QString Q(const std::string& s) {
    return DecodeFileName(std::string_view(s));
}
QString Root(const TTempDir& dir) {
    return Q(dir.Path.string());
}

QStringList List(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* s : items)
        out.append(QString::fromUtf8(s));
    return out;
}

// Keeps the default locale for one test.
class TLocaleScope {
public:
    explicit TLocaleScope(const char* name) : Saved(QLocale()) {
        QLocale::setDefault(QLocale(name));
    }
    ~TLocaleScope() { QLocale::setDefault(Saved); }

private:
    QLocale Saved;
};

class LibraryTest : public ::testing::Test {
protected:
    TFormPlayer Player{NoSound()};
    TTempDir Dir;
    TLocaleScope Locale{"en_US"};
};

// Every file is listed under exactly its own folder, and the counts add up.
void ExpectPartition(const TLibrary& lib) {
    int sum = 0;
    QStringList rebuilt;
    for (int i = 0; i < lib.FolderCount(); ++i) {
        const QStringList& names = lib.FilesInFolder(i);
        EXPECT_EQ(lib.FileCountInFolder(i), names.size()) << lib.Folders()[i].toStdString();
        EXPECT_FALSE(names.isEmpty()) << lib.Folders()[i].toStdString();
        sum += lib.FileCountInFolder(i);
        for (const QString& n : names)
            rebuilt.append(lib.Folders()[i] + '/' + n);
    }
    EXPECT_EQ(sum, lib.TotalFileCount());
    rebuilt.sort();
    QStringList files = lib.Files();
    files.sort();
    EXPECT_EQ(rebuilt, files);
}
} // namespace

TEST(LibraryValue, EachFolderListsItsOwnFilesWhereverTheyLieInTheOrder) {
    // Under the collation a subfolder's file may sort between its parent's files.
    const TLibrary lib(QStringLiteral("/music/"),
                       List({"/A/a.mp3", "/A/B/y.mp3", "/A/z.mp3", "/top.mp3", "/A/B/zz.mp3"}));
    EXPECT_EQ(lib.Folders(), List({"./A", "./A/B", "."}));
    EXPECT_EQ(lib.FilesInFolder(0), List({"a.mp3", "z.mp3"}));
    EXPECT_EQ(lib.FilesInFolder(1), List({"y.mp3", "zz.mp3"}));
    EXPECT_EQ(lib.FilesInFolder(2), List({"top.mp3"}));
    ExpectPartition(lib);
    EXPECT_EQ(lib.FilePath(1, 1), "/music/A/B/zz.mp3");
    EXPECT_EQ(lib.FilePath(2, 0), "/music/top.mp3");
    EXPECT_EQ(lib.FolderPath(2), "/music/.");
    EXPECT_EQ(lib.FolderDisplayList(), List({"A", "A/B", "."}));
    for (int outside : {-1, 3}) {
        EXPECT_TRUE(lib.FilesInFolder(outside).isEmpty()) << outside;
        EXPECT_EQ(lib.FileCountInFolder(outside), 0);
        EXPECT_TRUE(lib.FolderPath(outside).isEmpty());
    }
    EXPECT_TRUE(lib.FilePath(0, 2).isEmpty());
    EXPECT_TRUE(lib.FilePath(0, -1).isEmpty());
    const TLibrary none;
    EXPECT_EQ(none.TotalFileCount(), 0);
    EXPECT_EQ(none.FolderCount(), 0);
}

struct TOrderCase {
    const char* Locale;
    std::vector<std::string> Tree;
    QStringList Files;
    QStringList Folders;
};

class LibraryOrderTest : public ::testing::TestWithParam<TOrderCase> {};

TEST_P(LibraryOrderTest, FilesFollowTheLocaleCollationOfTheWholePath) {
    const TOrderCase& c = GetParam();
    TLocaleScope locale(c.Locale);
    TTempDir dir;
    MakeTree(dir, c.Tree);
    TFormPlayer p(NoSound());
    p.LoadFolder(Root(dir), {});
    EXPECT_EQ(p.Library.Files(), c.Files);
    EXPECT_EQ(p.Library.Folders(), c.Folders);
    ExpectPartition(p.Library);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LibraryOrderTest,
    ::testing::Values(
        // Subfolder files interleave with the folder's own: "B" sorts before "x".
        TOrderCase{"en_US",
                   {"A/x.mp3", "A/B/y.mp3", "b.mp3", "C/z.mp3", "a.mp3", "10.mp3", "9.mp3"},
                   List({"./10.mp3", "./9.mp3", "./a.mp3", "./A/B/y.mp3", "./A/x.mp3", "./b.mp3",
                         "./C/z.mp3"}),
                   List({".", "./A/B", "./A", "./C"})},
        // Umlauts sort with their base letters, not after "z".
        TOrderCase{"de_DE",
                   {"\xc3\x84pfel/b.mp3", "Apfel/a.mp3", "Zebra.mp3", "\xc3\x96l.mp3", "Ofen.mp3",
                    "\xc3\xa4rger.mp3"},
                   List({"./Apfel/a.mp3", "./\xc3\x84pfel/b.mp3", "./\xc3\xa4rger.mp3",
                         "./Ofen.mp3", "./\xc3\x96l.mp3", "./Zebra.mp3"}),
                   List({"./Apfel", "./\xc3\x84pfel", "."})}));

TEST_F(LibraryTest, FoldersAreOnlyThoseThatHoldFilesDirectly) {
    // Band's own files have a subfolder's file sorting between them.
    MakeTree(Dir, {"Rock/Band/01.mp3", "Rock/Band/Zed.mp3", "Rock/Band/Live/02.mp3", "Jazz/Empty/",
                   "Jazz/Trio/x.mp3", "top.mp3"});
    Player.LoadFolder(Root(Dir), {});
    const TLibrary& lib = Player.Library;
    EXPECT_EQ(lib.Files(), List({"./Jazz/Trio/x.mp3", "./Rock/Band/01.mp3",
                                 "./Rock/Band/Live/02.mp3", "./Rock/Band/Zed.mp3", "./top.mp3"}));
    EXPECT_EQ(lib.Folders(), List({"./Jazz/Trio", "./Rock/Band", "./Rock/Band/Live", "."}));
    EXPECT_EQ(lib.FilesInFolder(1), List({"01.mp3", "Zed.mp3"}));
    EXPECT_EQ(lib.FilesInFolder(3), List({"top.mp3"}));
    EXPECT_EQ(lib.FolderDisplayList(), List({"Jazz/Trio", "Rock/Band", "Rock/Band/Live", "."}));
    ExpectPartition(lib);
}

TEST_F(LibraryTest, NamesThatDifferOnlyInCaseAreAllKeptUnderTheirOwnFolder) {
    MakeTree(Dir, {"Rock/Song.mp3", "Rock/song.mp3", "rock/a.mp3", "rock/Z.mp3"});
    Player.LoadFolder(Root(Dir), {});
    const TLibrary& lib = Player.Library;
    ASSERT_EQ(lib.TotalFileCount(), 4);
    ASSERT_EQ(lib.FolderCount(), 2);
    const auto upper = static_cast<int>(lib.Folders().indexOf("./Rock")),
               lower = static_cast<int>(lib.Folders().indexOf("./rock"));
    ASSERT_GE(upper, 0);
    ASSERT_GE(lower, 0);
    EXPECT_EQ(lib.FilesInFolder(upper), List({"Song.mp3", "song.mp3"}));
    EXPECT_EQ(lib.FilesInFolder(lower), List({"a.mp3", "Z.mp3"}));
    ExpectPartition(lib);
    // Every listed file opens.
    for (int f = 0; f < lib.FolderCount(); ++f)
        for (int n = 0; n < lib.FileCountInFolder(f); ++n)
            EXPECT_EQ(access(EncodeFileName(lib.FilePath(f, n)).constData(), R_OK), 0);
}

struct TFilterCase {
    const char* Name;
    TAudioTypes Types;
    QStringList Files;
};

class LibraryFilterTest : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(LibraryFilterTest, ExtensionsDecoysAndHiddenEntries) {
    TLocaleScope locale("en_US");
    TTempDir dir;
    MakeTree(dir,
             {"a.mp3", "B.MP3", "c.Mp3", "d.wma", "E.WmA", "song.mp3.bak", "mp3", "f.mp3x", "g.mp",
              "Only WMA/x.wma", "dir.mp3/in.mp3", "empty.mp3/", ".hidden.mp3", ".secret/h.mp3"});
    TFormPlayer p(NoSound());
    p.LoadFolder(Root(dir), GetParam().Types);
    EXPECT_EQ(p.Library.Files(), GetParam().Files);
    EXPECT_EQ(p.Library.Folders().contains("./Only WMA"), GetParam().Types.Wma);
    ExpectPartition(p.Library);
}

INSTANTIATE_TEST_SUITE_P(
    IncludesWma, LibraryFilterTest,
    ::testing::Values(TFilterCase{"Off",
                                  {},
                                  List({"./.hidden.mp3", "./.secret/h.mp3", "./a.mp3", "./B.MP3",
                                        "./c.Mp3", "./dir.mp3/in.mp3"})},
                      TFilterCase{
                          "On",
                          {.Wma = true},
                          List({"./.hidden.mp3", "./.secret/h.mp3", "./a.mp3", "./B.MP3", "./c.Mp3",
                                "./d.wma", "./dir.mp3/in.mp3", "./E.WmA", "./Only WMA/x.wma"})}),
    [](const ::testing::TestParamInfo<TFilterCase>& i) { return std::string(i.param.Name); });

TEST_F(LibraryTest, RootWithOrWithoutTrailingSlashGivesTheSameLibrary) {
    MakeTree(Dir, {"x.mp3", "A/y.mp3"});
    const QString root = Root(Dir);
    for (const QString& r : {root, root + "/", root + "//"}) {
        SCOPED_TRACE(r.toStdString());
        Player.LoadFolder(r, {});
        const TLibrary& lib = Player.Library;
        EXPECT_EQ(lib.RootFolder, r);
        EXPECT_EQ(lib.Files(), List({"./A/y.mp3", "./x.mp3"}));
        EXPECT_EQ(lib.Folders(), List({"./A", "."}));
        if (r.endsWith("//")) continue; // "//A" names the same folder
        EXPECT_EQ(lib.FolderPath(0), root + "/A");
        EXPECT_EQ(lib.FolderPath(1), root + "/.");
    }
}

TEST(LibraryRootTest, TheFileSystemRootCanBeTheRootFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs chroot";
    // The death-test child runs this body again: it takes the parent's tree instead of making
    // one it could not remove after the chroot.
    static const char* const kTreeVar = "VELODRA_TEST_CHROOT_TREE";
    std::optional<TTempDir> made;
    std::string tree;
    if (const char* inherited = std::getenv(kTreeVar)) {
        tree = inherited;
    } else {
        made.emplace();
        MakeTree(*made, {"x.mp3", "A/y.mp3"});
        tree = made->Path.string();
        setenv(kTreeVar, tree.c_str(), 1);
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (chroot(tree.c_str()) != 0 || chdir("/") != 0) _exit(3);
            TFormPlayer p(NoSound());
            p.LoadFolder("/", {});
            const TLibrary& lib = p.Library;
            const bool ok = lib.Files() == List({"./A/y.mp3", "./x.mp3"}) &&
                            lib.FolderPath(0) == "/A" && lib.FolderPath(1) == "/.";
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    if (made) unsetenv(kTreeVar);
}

struct TErrorCase {
    const char* Name;
    std::vector<std::string> Tree;
    std::string Root;     // below the temp folder
    std::string Expected; // with %R for the temp folder
};

class LibraryErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(LibraryErrorTest, ErrorsQuoteTheFolderAndKeepTheLibrary) {
    const TErrorCase& c = GetParam();
    TTempDir dir;
    MakeTree(dir, {"good/keep.mp3"});
    MakeTree(dir, c.Tree);
    TFormPlayer p(NoSound());
    p.LoadFolder(Root(dir) + "/good", {});
    QString expected = Q(c.Expected);
    expected.replace("%R", Root(dir));
    try {
        p.LoadFolder(Root(dir) + Q(c.Root), {});
        ADD_FAILURE() << "no error";
    } catch (const EVelodraError& e) {
        EXPECT_EQ(e.Message, expected);
    }
    EXPECT_EQ(p.Library.Files(), List({"./keep.mp3"}));
    EXPECT_EQ(p.Library.RootFolder, Root(dir) + "/good");
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LibraryErrorTest,
    ::testing::Values(
        TErrorCase{"Missing", {}, "/it's gone/", "'%R/it''s gone' doesn't exist."},
        TErrorCase{"AFileNotAFolder", {"song.mp3"}, "/song.mp3", "'%R/song.mp3' doesn't exist."},
        TErrorCase{"NoAudio",
                   {"it's 'empty'/notes.txt", "it's 'empty'/sub/a.wma"},
                   "/it's 'empty'",
                   "Could not find any audio file in '%R/it''s ''empty'''."}),
    [](const ::testing::TestParamInfo<TErrorCase>& i) { return std::string(i.param.Name); });

// The desktop entry and the metainfo offer the player for the types a scan with every option
// on takes.
TEST(AudioTypes, DesktopEntryAndMetainfoListTheScannedTypes) {
    QFile desktop(VELODRA_SOURCE_DIR "/resources/velodra.desktop.in"),
        metainfo(VELODRA_SOURCE_DIR "/resources/velodra.metainfo.xml.in");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly) && metainfo.open(QIODevice::ReadOnly));
    const QStringList all = AudioMimeTypes({.Wma = true, .Other = true});
    EXPECT_TRUE(desktop.readAll().contains(("\nMimeType=" + all.join(u';') + ";\n").toUtf8()));
    EXPECT_TRUE(metainfo.readAll().contains(
        ("<mediatype>" + all.join("</mediatype>\n    <mediatype>") + "</mediatype>\n  </provides>")
            .toUtf8()));
}

TEST_F(LibraryTest, EmptyRootIsAMissingFolder) {
    EXPECT_THROW(Player.LoadFolder(QString(), {}), EVelodraError);
}

TEST_F(LibraryTest, TheCountsFollowTheAcceptedFilesAndTheirFolders) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "notes.txt", "S/c.mp3", "Empty/"});
    TScanControl control;
    const TLibrary lib = TFormPlayer::Scan(Root(Dir), {}, control);
    EXPECT_EQ(lib.TotalFileCount(), 3);
    EXPECT_EQ(control.Files, 3);
    EXPECT_EQ(control.Folders, 2);
}

// An abort keeps what was found before it; one before any file is found changes nothing.
TEST_F(LibraryTest, AnAbortKeepsWhatWasFoundOrWithNothingFoundIsNoError) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "c.mp3", "S/d.mp3", "S/T/e.mp3"});
    TScanControl control;
    control.FileAccepted = [&](std::int32_t files) {
        if (files == 3) control.Abort = true;
    };
    const TLibrary lib = TFormPlayer::Scan(Root(Dir), {}, control);
    EXPECT_EQ(lib.Files(), List({"./a.mp3", "./b.mp3", "./c.mp3"}));

    TScanControl early;
    early.Abort = true;
    EXPECT_THROW(TFormPlayer::Scan(Root(Dir), {}, early), EScanAborted);
}

TEST_F(LibraryTest, LinksAreWalkedOnceAndFoldersListedUnderTheirOwnPath) {
    MakeTree(Dir, {"A/x.mp3", "B/y.mp3", "elsewhere/z.mp3"});
    TTempDir outside;
    MakeTree(outside, {"o.mp3"});
    ASSERT_EQ(symlink("..", (Dir / "A/up").c_str()), 0);                 // back to the root
    ASSERT_EQ(symlink((Dir / "A").c_str(), (Dir / "B/toA").c_str()), 0); // to a sibling
    ASSERT_EQ(symlink(outside.Path.c_str(), (Dir / "Out").c_str()), 0);  // out of the tree
    ASSERT_EQ(symlink((Dir / "A/x.mp3").c_str(), (Dir / "link.mp3").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.mp3", (Dir / "broken.mp3").c_str()), 0);
    ASSERT_EQ(mkfifo((Dir / "pipe.mp3").c_str(), 0644), 0); // opening it would hang
    Player.LoadFolder(Root(Dir), {});
    // Each directory once, whichever way it was reached first; the link to a file is a file.
    EXPECT_EQ(Player.Library.Files(),
              List({"./A/x.mp3", "./B/y.mp3", "./elsewhere/z.mp3", "./link.mp3", "./Out/o.mp3"}));
    ExpectPartition(Player.Library);
}

TEST_F(LibraryTest, NamesThatAreNotUtf8RoundTripToTheSameBytes) {
    const std::string folder = "caf\xe9", file = "\xff\xfe song.mp3";
    MakeTree(Dir, {folder + "/" + file, "plain.mp3"});
    Player.LoadFolder(Root(Dir), {});
    const TLibrary& lib = Player.Library;
    ASSERT_EQ(lib.TotalFileCount(), 2);
    const auto f = static_cast<int>(lib.Folders().indexOf(Q("./" + folder)));
    ASSERT_GE(f, 0);
    ASSERT_EQ(lib.FileCountInFolder(f), 1);
    const QByteArray path = EncodeFileName(lib.FilePath(f, 0));
    EXPECT_EQ(path.toStdString(), Dir / (folder + "/" + file));
    const int fd = open(path.constData(), O_RDONLY);
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
    EXPECT_TRUE(lib.FolderDisplayList().contains(Q(folder)));
}
