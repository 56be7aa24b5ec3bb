// The library kept in step with the disk through the session: the snapshot a start takes, the
// check of a tree changed while closed, the place carried by name, a folder removed while it
// plays, the options, a visit outside the root, a root that is not there, and the close.
#include "platform/CacheFile.h"
#include "player/LibrarySnapshot.h"
#include "support/SessionFixture.h"

#include <QFile>
#include <atomic>
#include <filesystem>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
using namespace testsupport;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class LibraryKeeping : public TSessionFixture {
protected:
    QString Root() const { return QString::fromStdString(Dir / "lib"); }
    std::string Snapshot() const { return Dir / "cache/velodra/library.snapshot"; }
    // The selection as "folder key/file name".
    QString Key() const {
        return Player->Library.FolderKey(FolderIndex()) + '/' +
               Player->Library.FilesInFolder(FolderIndex()).value(FileIndex());
    }
    QStringList Disk(TAudioTypes types = {}) const {
        TScanControl control;
        return TFormPlayer::Scan(Root(), types, control).Files();
    }
    // The window's close: the place it saves, then the session's.
    TResume Close() {
        const TResume place = Session->Place();
        Session->Shutdown();
        return place;
    }
    // A new process on the same root: the start runs, nothing has answered yet.
    void Restart(const TResume& place, const QString& root, TAudioTypes types = {}) {
        Session.reset();
        MakeSession();
        Session->SetIncludeWma(types.Wma);
        Session->SetRootFolder(root);
        Session->StartUp(place);
    }
};

// Each snapshot that does not fit is ignored and the start scans; one that fits gives the
// library and the place before any folder is read.
TEST_F(LibraryKeeping, AStartTakesTheSnapshotOnlyWhenItFits) {
    struct TCase {
        const char* Name;
        std::function<void(const std::string& file)> Spoil;
        bool OtherRoot, OtherTypes, Fits;
    };
    const auto patch = [](qint64 at, char byte) {
        return [at, byte](const std::string& file) {
            QFile f(QString::fromStdString(file));
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            f.seek(at < 0 ? f.size() + at : at);
            f.putChar(byte);
        };
    };
    const std::vector<TCase> cases = {
        {"intact", [](const std::string&) {}, false, false, true},
        {"missing", [](const std::string& f) { fs::remove(f); }, false, false, false},
        {"truncated", [](const std::string& f) { fs::resize_file(f, fs::file_size(f) / 2); }, false,
         false, false},
        {"damaged", patch(-20, '\x7f'), false, false, false},
        {"foreign version", patch(8, 99), false, false, false},
        {"foreign root", [](const std::string&) {}, true, false, false},
        {"other options", [](const std::string&) {}, false, true, false},
    };
    Load({2, 3});
    SelectFolder(1);
    SelectFile(2);
    const TResume place = Close();
    const QByteArray good = *ReadWholeFile(QString::fromStdString(Snapshot()), 1 << 30);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::create_directories(Dir / "cache/velodra");
        WriteFile(Snapshot(), good.toStdString());
        c.Spoil(Snapshot());
        Restart(place, c.OtherRoot ? Root() + '/' : Root(), {.Wma = c.OtherTypes});
        EXPECT_EQ(Session->Scanning(), !c.Fits);
        if (c.Fits) {
            EXPECT_EQ(Key(), "./F1/t02.mp3") << "resumed before anything was read";
        }
        EXPECT_TRUE(WaitFor([&] { return Player->Library.Files() == Disk(); }, 10s));
        EXPECT_EQ(Key(), "./F1/t02.mp3");
        Session->Shutdown();
    }
}

// The tree changed while the program was closed: the check finds each change by one stat per
// folder and reads only what changed, and the start resumes the same file by name (by the
// indices where the file itself is gone).
TEST_F(LibraryKeeping, TheCheckFindsWhatChangedWhileClosedAndTheStartResumesByName) {
    struct TCase {
        const char* Name;
        std::function<void(const TTempDir&)> Change;
        const char* Resumed;
        int MaxReads; // directories the check reads
        bool SameFiles = false;
    };
    const std::vector<TCase> cases = {
        {"unchanged", [](const TTempDir&) {}, "./F1/t01.mp3", 0},
        {"folder added before the place",
         [](const TTempDir& d) { WriteFile(d / "lib/F0 new/a.mp3", "x"); }, "./F1/t01.mp3", 2},
        {"folder removed", [](const TTempDir& d) { fs::remove_all(d / "lib/F0"); }, "./F1/t01.mp3",
         1},
        {"subfolder added below a known one",
         [](const TTempDir& d) { WriteFile(d / "lib/F2/Sub/s.mp3", "x"); }, "./F1/t01.mp3", 2},
        {"folder without audio added",
         [](const TTempDir& d) { fs::create_directories(d / "lib/F1/Scans"); }, "./F1/t01.mp3", 2,
         true},
        {"file renamed",
         [](const TTempDir& d) { fs::rename(d / "lib/F1/t01.mp3", d / "lib/F1/zz.mp3"); },
         "./F1/t02.mp3", 1},
        {"files replaced",
         [](const TTempDir& d) {
             fs::remove_all(d / "lib/F1");
             for (const char* n : {"a.mp3", "b.mp3", "c.mp3"})
                 WriteFile(d / (std::string("lib/F1/") + n), "x");
         },
         "./F1/b.mp3", 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(Dir / "lib");
        Restart({}, Root());
        Load({2, 3, 2});
        SelectFolder(1);
        SelectFile(1);
        const TResume place = Close();
        const TLibrary before = *LoadSnapshot(QString::fromStdString(Snapshot()), Root(), {});
        c.Change(Dir);
        TScanControl control;
        const TFormPlayer::TCheckReport report = TFormPlayer::Check(before, {}, control);
        EXPECT_EQ(report.Stats, static_cast<qint64>(before.Tree().size()));
        EXPECT_LE(report.Reads, c.MaxReads);
        EXPECT_EQ(report.Library.has_value(), c.MaxReads > 0);
        EXPECT_EQ(report.SameFiles, c.SameFiles);
        Restart(place, Root());
        // The check follows the resumed file's open.
        EXPECT_TRUE(WaitFor([&] { return Player->Library.Files() == Disk(); }, 10s));
        EXPECT_EQ(Key(), c.Resumed);
    }
}

// A folder removed while its file plays: the file plays to its end, the advance goes on in the
// next folder that exists, no file of the removed folder is tried and nothing is reported.
TEST_F(LibraryKeeping, AFolderRemovedWhileItPlaysIsLeftWithoutSkipsOrBox) {
    Load({2, 3, 2});
    SelectFolder(1);
    Run(TCommand::Play);
    int skipped = 0;
    QObject::connect(Session.get(), &TSession::Skipped, [&skipped] { ++skipped; });
    fs::remove_all(Dir / "lib/F1");
    Session->CheckLibrary();
    Settle();
    EXPECT_EQ(Key(), "./F1/t00.mp3") << "listed while it plays";
    EXPECT_TRUE(Session->IsPlaying());
    // The indices change with the library: the move is seen by name.
    for (int t = 0; t < 200 && Key() == "./F1/t00.mp3"; ++t)
        Tick();
    EXPECT_EQ(Key(), "./F2/t00.mp3");
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(skipped, 0);
    EXPECT_TRUE(Messages.empty());
    Settle();
    EXPECT_EQ(Player->Library.Files(), Disk()) << "gone once it is left";
    EXPECT_EQ(Key(), "./F2/t00.mp3");
}

// An option that shapes the library rescans at once and keeps the place by name; a file from
// under the root in a folder new to the library is folded in and plays; one from elsewhere is a
// visit that leaves the library, its snapshot and its place for the next start.
TEST_F(LibraryKeeping, OptionsActAtOnceAndAFileFromOutsideNeverReplacesTheLibrary) {
    MakeLibrary({2, 2});
    WriteFile(Dir / "lib/F0/a.wma", "x");
    Load({2, 2});
    SelectFolder(1);
    SelectFile(1);
    Session->SetIncludeWma(true);
    Settle();
    EXPECT_EQ(Player->Library.Files(), Disk({.Wma = true}));
    EXPECT_EQ(Key(), "./F1/t01.mp3");

    WriteFile(Dir / "lib/New/n.mp3", "x");
    Session->OpenPath(Root() + "/New/n.mp3");
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, Root());
    EXPECT_EQ(Key(), "./New/n.mp3");
    EXPECT_TRUE(Session->IsPlaying());
    SelectFolder(1);
    const TResume inLibrary = Session->Place();

    WriteFile(Dir / "away/v.mp3", "x");
    Session->OpenPath(QString::fromStdString(Dir / "away/v.mp3"));
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, QString::fromStdString(Dir / "away"));
    EXPECT_EQ(Session->PlaceRoot(), Root());
    EXPECT_EQ(Session->Place().FileName, inLibrary.FileName);
    const TResume place = Close();
    EXPECT_EQ(LoadSnapshot(QString::fromStdString(Snapshot()), Root(), {.Wma = true})->Files(),
              Disk({.Wma = true}));
    Restart(place, Root(), {.Wma = true});
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, Root());
    EXPECT_EQ(Session->Place().FolderKey, inLibrary.FolderKey);
    EXPECT_EQ(Session->Place().FileName, inLibrary.FileName);
}

// A start without its root keeps the place, says so once and comes back when the root appears;
// a close during the start's scan keeps the place too, and does not wait for a scan that hangs.
TEST_F(LibraryKeeping, AMissingRootOrAStuckScanLosesNothingAndHoldsNothingUp) {
    const TResume place{1, 0, 1500, true, QStringLiteral("./F1"), QStringLiteral("t01.mp3")};
    QStringList told;
    Restart(place, Root());
    QObject::connect(Session.get(), &TSession::Told, [&told](const QString& t) { told << t; });
    Settle();
    EXPECT_EQ(Session->Place().FileName, place.FileName);
    EXPECT_EQ(Session->Place().PositionMs, place.PositionMs);
    EXPECT_TRUE(Session->Place().Playing);
    MakeLibrary({1, 2});
    EXPECT_TRUE(WaitFor([&] { return Player->Library.TotalFileCount() == 3; }, 10s));
    Settle();
    EXPECT_EQ(Key(), "./F1/t01.mp3");
    EXPECT_LE(told.size(), 1);

    // Shared with the scan's thread, which the close leaves behind.
    struct TGate {
        std::atomic<bool> Inside{false}, Release{false}, Left{false};
    };
    const auto gate = std::make_shared<TGate>();
    Session.reset();
    MakeSession();
    Session->SetScanHook([gate](std::int32_t) {
        gate->Inside = true;
        for (int i = 0; i < 1000 && !gate->Release; ++i)
            std::this_thread::sleep_for(10ms);
        gate->Left = true;
    });
    fs::remove_all(Dir / "cache");
    Session->SetRootFolder(Root());
    Session->StartUp(place);
    ASSERT_TRUE(WaitFor([&] { return gate->Inside.load(); }, 5s));
    EXPECT_EQ(Session->Place().FileName, place.FileName);
    EXPECT_TRUE(Session->Place().Playing);
    Session->Shutdown();
    EXPECT_FALSE(gate->Left) << "the close came back while the scan was stuck";
    gate->Release = true;
}

// Beyond the watch budget only the root and the way to the current folder are watched; the rest
// is checked when the window comes to the front. Within it a change arrives by itself.
TEST_F(LibraryKeeping, TheWatchKeepsToItsBudget) {
    for (const int budget : {2, 1000}) {
        SCOPED_TRACE(budget);
        fs::remove_all(Dir / "lib");
        Restart({}, Root());
        Session->Keeper().SetWatchBudget(budget);
        Load({1, 1, 1});
        const int want = budget == 2 ? 2 : 4; // the root and ./F0, or all four folders
        EXPECT_TRUE(WaitFor([&] { return Session->Keeper().WatchedCount() == want; }, 5s));
        EXPECT_EQ(Session->Keeper().OverBudget(), budget == 2);
        WriteFile(Dir / "lib/F2/new.mp3", "x");
        const auto found = [&] { return Player->Library.TotalFileCount() == 4; };
        if (budget == 2) {
            EXPECT_FALSE(WaitFor(found, 3s)) << "not watched";
            Session->WindowActivated();
        }
        EXPECT_TRUE(WaitFor(found, 10s));
    }
}
} // namespace
