// The library scan through TFormPlayer: order, partition, filters, the loading window, abort,
// errors and the file-system guards, on trees made at test time.
#include "platform/Error.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Exported by QtGui; what Qt's own test library uses to let a key reach window shortcuts.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
using testsupport::TTempDir;

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "library_test";
        static char* argv[] = {name, nullptr};
        App = new QApplication(argc, argv);
    }
    void TearDown() override { delete App; }
    QApplication* App = nullptr;
};
[[maybe_unused]] auto* const kEnv = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

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

QPushButton* AbortButton(TFormPlayer& p) {
    return p.findChild<QPushButton*>("Button1");
}
QLabel* LoadLabel(TFormPlayer& p) {
    return p.findChild<QLabel*>("LblLoad");
}

// Runs fn at each event processing of the scan (a zero timer fires once per pass).
class TPerFile {
public:
    explicit TPerFile(std::function<void(int)> fn) {
        QObject::connect(&Timer, &QTimer::timeout, [this, fn = std::move(fn)] { fn(++Calls); });
        Timer.start(0);
    }
    int Calls = 0;
    QTimer Timer;
};

class LibraryTest : public ::testing::Test {
protected:
    TFormPlayer Player{NoSound()};
    TTempDir Dir;
    TLocaleScope Locale{"en_US"};
};

// Every file is listed under exactly its own folder, and the counts add up.
void ExpectPartition(const TFormPlayer& p) {
    int sum = 0;
    QStringList rebuilt;
    for (int i = 0; i < p.Folders.size(); ++i) {
        QStringList names;
        p.FilesInFolder(i, names);
        EXPECT_EQ(p.FileCountInFolder(i), names.size()) << p.Folders[i].toStdString();
        EXPECT_FALSE(names.isEmpty()) << p.Folders[i].toStdString();
        sum += p.FileCountInFolder(i);
        for (const QString& n : names)
            rebuilt.append(p.Folders[i] + '/' + n);
    }
    EXPECT_EQ(sum, p.TotalFileCount());
    rebuilt.sort();
    QStringList files = p.Files;
    files.sort();
    EXPECT_EQ(rebuilt, files);
}
} // namespace

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
    p.LoadFolder(Root(dir), false);
    EXPECT_EQ(p.Files, c.Files);
    EXPECT_EQ(p.Folders, c.Folders);
    ExpectPartition(p);
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
    Player.LoadFolder(Root(Dir), false);
    EXPECT_EQ(Player.Files, List({"./Jazz/Trio/x.mp3", "./Rock/Band/01.mp3",
                                  "./Rock/Band/Live/02.mp3", "./Rock/Band/Zed.mp3", "./top.mp3"}));
    EXPECT_EQ(Player.Folders, List({"./Jazz/Trio", "./Rock/Band", "./Rock/Band/Live", "."}));
    QStringList band, top, shown;
    Player.FilesInFolder(1, band);
    Player.FilesInFolder(3, top);
    EXPECT_EQ(band, List({"01.mp3", "Zed.mp3"}));
    EXPECT_EQ(top, List({"top.mp3"}));
    Player.FolderDisplayList(shown);
    EXPECT_EQ(shown, List({"Jazz/Trio", "Rock/Band", "Rock/Band/Live", "."}));
    ExpectPartition(Player);
}

TEST_F(LibraryTest, NamesThatDifferOnlyInCaseAreAllKeptUnderTheirOwnFolder) {
    MakeTree(Dir, {"Rock/Song.mp3", "Rock/song.mp3", "rock/a.mp3", "rock/Z.mp3"});
    Player.LoadFolder(Root(Dir), false);
    ASSERT_EQ(Player.TotalFileCount(), 4);
    ASSERT_EQ(Player.Folders.size(), 2);
    const qsizetype upper = Player.Folders.indexOf("./Rock"),
                    lower = Player.Folders.indexOf("./rock");
    ASSERT_GE(upper, 0);
    ASSERT_GE(lower, 0);
    QStringList a, b;
    Player.FilesInFolder(static_cast<int>(upper), a);
    Player.FilesInFolder(static_cast<int>(lower), b);
    EXPECT_EQ(a, List({"Song.mp3", "song.mp3"}));
    EXPECT_EQ(b, List({"a.mp3", "Z.mp3"}));
    ExpectPartition(Player);
    // Every listed file opens.
    for (int f = 0; f < Player.Folders.size(); ++f) {
        QStringList names;
        Player.FilesInFolder(f, names);
        for (const QString& n : names)
            EXPECT_EQ(access(EncodeFileName(Player.FolderPath(f) + '/' + n).constData(), R_OK), 0);
    }
}

struct TFilterCase {
    const char* Name;
    bool IncludeWma;
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
    p.LoadFolder(Root(dir), GetParam().IncludeWma);
    EXPECT_EQ(p.Files, GetParam().Files);
    EXPECT_EQ(p.Folders.contains("./Only WMA"), GetParam().IncludeWma);
    ExpectPartition(p);
}

INSTANTIATE_TEST_SUITE_P(
    IncludesWma, LibraryFilterTest,
    ::testing::Values(TFilterCase{"Off", false,
                                  List({"./.hidden.mp3", "./.secret/h.mp3", "./a.mp3", "./B.MP3",
                                        "./c.Mp3", "./dir.mp3/in.mp3"})},
                      TFilterCase{
                          "On", true,
                          List({"./.hidden.mp3", "./.secret/h.mp3", "./a.mp3", "./B.MP3", "./c.Mp3",
                                "./d.wma", "./dir.mp3/in.mp3", "./E.WmA", "./Only WMA/x.wma"})}),
    [](const ::testing::TestParamInfo<TFilterCase>& i) { return std::string(i.param.Name); });

TEST_F(LibraryTest, RootWithOrWithoutTrailingSlashGivesTheSameLibrary) {
    MakeTree(Dir, {"x.mp3", "A/y.mp3"});
    const QString root = Root(Dir);
    for (const QString& r : {root, root + "/", root + "//"}) {
        SCOPED_TRACE(r.toStdString());
        Player.LoadFolder(r, false);
        EXPECT_EQ(Player.RootFolder, r);
        EXPECT_EQ(Player.Files, List({"./A/y.mp3", "./x.mp3"}));
        EXPECT_EQ(Player.Folders, List({"./A", "."}));
        if (r.endsWith("//")) continue; // "//A" names the same folder
        EXPECT_EQ(Player.FolderPath(0), root + "/A");
        EXPECT_EQ(Player.FolderPath(1), root + "/.");
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
            p.LoadFolder("/", false);
            const bool ok = p.Files == List({"./A/y.mp3", "./x.mp3"}) && p.FolderPath(0) == "/A" &&
                            p.FolderPath(1) == "/.";
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
    bool Shown;           // the window appeared before the error
};

class LibraryErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(LibraryErrorTest, ErrorsQuoteTheFolderAndKeepTheLibrary) {
    const TErrorCase& c = GetParam();
    TTempDir dir;
    MakeTree(dir, {"good/keep.mp3"});
    MakeTree(dir, c.Tree);
    TFormPlayer p(NoSound());
    p.LoadFolder(Root(dir) + "/good", false);
    int shows = 0;
    struct TShowCounter : QObject {
        int* Count;
        explicit TShowCounter(int* c) : Count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) ++*Count;
            return false;
        }
    } counter(&shows);
    p.installEventFilter(&counter);
    QString expected = Q(c.Expected);
    expected.replace("%R", Root(dir));
    try {
        p.LoadFolder(Root(dir) + Q(c.Root), false);
        ADD_FAILURE() << "no error";
    } catch (const EVelodraError& e) {
        EXPECT_EQ(e.Message, expected);
    }
    EXPECT_EQ(shows, c.Shown ? 1 : 0);
    EXPECT_FALSE(p.isVisible());
    EXPECT_FALSE(p.Scanning());
    EXPECT_EQ(p.Files, List({"./keep.mp3"}));
    EXPECT_EQ(p.RootFolder, Root(dir) + "/good");
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LibraryErrorTest,
    ::testing::Values(
        TErrorCase{"Missing", {}, "/it's gone/", "'%R/it''s gone' doesn't exist.", false},
        TErrorCase{
            "AFileNotAFolder", {"song.mp3"}, "/song.mp3", "'%R/song.mp3' doesn't exist.", false},
        TErrorCase{"NoAudio",
                   {"it's 'empty'/notes.txt", "it's 'empty'/sub/a.wma"},
                   "/it's 'empty'",
                   "Could not find any audio file in '%R/it''s ''empty'''.",
                   true}),
    [](const ::testing::TestParamInfo<TErrorCase>& i) { return std::string(i.param.Name); });

TEST_F(LibraryTest, EmptyRootIsAMissingFolder) {
    EXPECT_THROW(Player.LoadFolder(QString(), false), EVelodraError);
}

TEST_F(LibraryTest, WindowShowsDuringTheScanWithTheCountsAndHidesAfter) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "S/c.mp3"});
    QStringList labels;
    bool visible = false, scanning = false;
    TPerFile watch([&](int) {
        labels.append(LoadLabel(Player)->text());
        visible = visible || Player.isVisible();
        scanning = scanning || Player.Scanning();
    });
    Player.LoadFolder(Root(Dir), false);
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first(), "Loading... (1 folders, 1 files)");
    EXPECT_TRUE(visible);
    EXPECT_TRUE(scanning);
    EXPECT_FALSE(Player.isVisible());
    EXPECT_FALSE(Player.Scanning());
}

TEST_F(LibraryTest, ProgressCountsUseTheLocaleThousandsSeparator) {
    std::vector<std::string> tree;
    for (int i = 0; i < 2000; ++i)
        tree.push_back("t" + std::to_string(i) + ".mp3");
    MakeTree(Dir, tree);
    QStringList labels;
    // Slow the scan down so that the label is rewritten several times.
    TPerFile watch([&](int) {
        labels.append(LoadLabel(Player)->text());
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    });
    Player.LoadFolder(Root(Dir), false);
    const QRegularExpression form(R"(^Loading\.\.\. \(1 folders, (\d{1,3}(,\d{3})*) files\)$)");
    bool sawThousands = false;
    for (const QString& l : labels) {
        const QRegularExpressionMatch m = form.match(l);
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        sawThousands = sawThousands || m.captured(1).contains(',');
    }
    EXPECT_TRUE(sawThousands);
}

TEST_F(LibraryTest, AbortAfterTheFirstFileKeepsWhatWasFound) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "c.mp3", "S/d.mp3"});
    TPerFile click([&](int) { AbortButton(Player)->click(); });
    Player.LoadFolder(Root(Dir), false);
    EXPECT_EQ(Player.TotalFileCount(), 1);
    EXPECT_EQ(Player.FileCount, 1);
    EXPECT_EQ(Player.Folders, List({"."}));
    EXPECT_FALSE(Player.isVisible());
}

TEST_F(LibraryTest, AbortAfterSomeFilesStopsTheWalkIncludingSubfolders) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "c.mp3", "S/d.mp3", "S/T/e.mp3"});
    TPerFile click([&](int calls) {
        if (calls == 3) AbortButton(Player)->click();
    });
    Player.LoadFolder(Root(Dir), false);
    EXPECT_EQ(Player.Files, List({"./a.mp3", "./b.mp3", "./c.mp3"}));
}

TEST_F(LibraryTest, EscapeActsAsAbort) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "c.mp3"});
    bool consumed = false;
    TPerFile press([&](int calls) {
        // The window becomes active in the first pass; the key goes to it in the second.
        if (calls == 2)
            consumed = qt_sendShortcutOverrideEvent(&Player, 0, Qt::Key_Escape, Qt::NoModifier,
                                                    QString(), false, 1);
    });
    Player.LoadFolder(Root(Dir), false);
    EXPECT_TRUE(consumed);
    EXPECT_EQ(Player.TotalFileCount(), 2);
}

TEST_F(LibraryTest, AbortBeforeTheFirstFileLeavesTheLibraryAndRaisesNothing) {
    MakeTree(Dir, {"old/keep.mp3", "new/a.mp3"});
    Player.LoadFolder(Root(Dir) + "/old", false);
    // The Abort button pressed as the window appears, before any file was accepted.
    struct TAbortOnShow : QObject {
        TFormPlayer* P;
        explicit TAbortOnShow(TFormPlayer* p) : P(p) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) AbortButton(*P)->click();
            return false;
        }
    } abort(&Player);
    Player.installEventFilter(&abort);
    EXPECT_NO_THROW(Player.LoadFolder(Root(Dir) + "/new", false));
    EXPECT_EQ(Player.Files, List({"./keep.mp3"}));
    EXPECT_EQ(Player.RootFolder, Root(Dir) + "/old");
    EXPECT_FALSE(Player.isVisible());
    // The next load starts afresh.
    Player.removeEventFilter(&abort);
    Player.LoadFolder(Root(Dir) + "/new", false);
    EXPECT_EQ(Player.Files, List({"./a.mp3"}));
}

TEST_F(LibraryTest, LoadDuringAScanAbortsItInsteadOfNesting) {
    MakeTree(Dir, {"a.mp3", "b.mp3", "c.mp3", "other/x.mp3"});
    bool nestedThrew = false;
    TPerFile again([&](int calls) {
        if (calls != 1) return;
        try {
            Player.LoadFolder(Root(Dir) + "/other", false);
        } catch (...) {
            nestedThrew = true;
        }
    });
    Player.LoadFolder(Root(Dir), false);
    EXPECT_FALSE(nestedThrew);
    EXPECT_EQ(Player.RootFolder, Root(Dir));
    EXPECT_EQ(Player.TotalFileCount(), 1);
    EXPECT_FALSE(Player.Scanning());
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
    Player.LoadFolder(Root(Dir), false);
    // Each directory once, whichever way it was reached first; the link to a file is a file.
    EXPECT_EQ(Player.Files,
              List({"./A/x.mp3", "./B/y.mp3", "./elsewhere/z.mp3", "./link.mp3", "./Out/o.mp3"}));
    ExpectPartition(Player);
}

TEST_F(LibraryTest, NamesThatAreNotUtf8RoundTripToTheSameBytes) {
    const std::string folder = "caf\xe9", file = "\xff\xfe song.mp3";
    MakeTree(Dir, {folder + "/" + file, "plain.mp3"});
    Player.LoadFolder(Root(Dir), false);
    ASSERT_EQ(Player.TotalFileCount(), 2);
    const qsizetype f = Player.Folders.indexOf(Q("./" + folder));
    ASSERT_GE(f, 0);
    QStringList names;
    Player.FilesInFolder(static_cast<int>(f), names);
    ASSERT_EQ(names.size(), 1);
    const QByteArray path = EncodeFileName(Player.FolderPath(static_cast<int>(f)) + '/' + names[0]);
    EXPECT_EQ(path.toStdString(), Dir / (folder + "/" + file));
    const int fd = open(path.constData(), O_RDONLY);
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
    QStringList shown;
    Player.FolderDisplayList(shown);
    EXPECT_TRUE(shown.contains(Q(folder)));
}
