// The session without widgets: sequential and random order, repeat, the end of a track moved on
// by the session or joined by the device, the next file decided ahead, and what a watcher is
// told.
#include "support/SessionFixture.h"

#include <QStringList>
#include <filesystem>
#include <functional>
#include <set>
#include <tuple>

using testsupport::TSessionFixture;
using testsupport::WriteFile;

namespace {

struct TMoveCase {
    const char* Name;
    std::vector<int> Library;
    int Folder, File;
    bool Repeat;
    bool Moved;
    int WantFolder, WantFile;
};

class NextFileCommand : public TSessionFixture, public ::testing::WithParamInterface<TMoveCase> {};

TEST_P(NextFileCommand, AtEveryBoundary) {
    const TMoveCase& c = GetParam();
    Load(c.Library);
    Session->SetRepeat(c.Repeat);
    SelectFolder(c.Folder);
    SelectFile(c.File);
    const int opensBefore = Opens();
    EXPECT_EQ(Run(TCommand::NextFile), c.Moved);
    EXPECT_EQ(FolderIndex(), c.WantFolder);
    EXPECT_EQ(FileIndex(), c.WantFile);
    EXPECT_EQ(Opens() - opensBefore, c.Moved ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, NextFileCommand,
    ::testing::Values(TMoveCase{"InsideFolder", {2, 1}, 0, 0, false, true, 0, 1},
                      TMoveCase{"LastFileToNextFolder", {2, 1}, 0, 1, false, true, 1, 0},
                      TMoveCase{"EndOfLibraryStops", {2, 1}, 1, 0, false, false, 1, 0},
                      TMoveCase{"EndOfLibraryRepeats", {2, 1}, 1, 0, true, true, 0, 0},
                      TMoveCase{"OneFolderRepeats", {3}, 0, 2, true, true, 0, 0},
                      TMoveCase{"OneFileHasNoNext", {1}, 0, 0, true, false, 0, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

// The end of a track, moved on by the session (a device that can't go on by itself) and without
// a gap (the device goes on with the file queued with the play): the same moves.
class EndOfTrack : public TSessionFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        TSessionFixture::SetUp();
        Device->RefuseQueue = !Gapless();
    }
    bool Gapless() const { return GetParam(); }
    // The file decided last, from the device's log ("QueueNext <path>"; a refusing device
    // logs it too).
    QString LastDecided() const {
        const QStringList q = Device->Log.filter(QStringLiteral("QueueNext "));
        return q.isEmpty() ? QString() : q.last().mid(10);
    }
};
INSTANTIATE_TEST_SUITE_P(MovedOrGapless, EndOfTrack, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Gapless" : "Moved"; });

TEST_P(EndOfTrack, TrackEndMovesOnAndTheLastStops) {
    Load({2});
    Run(TCommand::Play);
    ASSERT_TRUE(Session->IsPlaying());
    int ended = 0;
    QObject::connect(Session.get(), &TSession::ReachedEnd, [&ended] { ++ended; });
    RunUntilChange();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Session->IsPlaying()) << "the next file starts by itself";
    // Without a gap the device went on with it; else the session opened it.
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + PathOf(0, 1)), Gapless() ? 1 : 0);
    EXPECT_EQ(Device->Count(QStringLiteral("Open ") + PathOf(0, 1)), Gapless() ? 0 : 1);
    EXPECT_EQ(Player->MediaInfo.FilePath, PathOf(0, 1));
    EXPECT_LT(Session->Position(), 300);
    RunUntilChange();
    EXPECT_FALSE(Session->IsPlaying()) << "the end of the library stops";
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_EQ(ended, 1);
}

TEST_P(EndOfTrack, OneFileWithRepeatPlaysAgainAtItsEnd) {
    Load({1});
    Session->SetRepeat(true);
    Run(TCommand::Play);
    const int plays = Device->Count(QStringLiteral("Play"));
    Tick(80);
    // Played again from its start: by the device itself, or by a second Play.
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), plays + (Gapless() ? 0 : 1));
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + PathOf(0, 0)), Gapless() ? 1 : 0);
    EXPECT_EQ(Session->State(), TPlayState::Playing);
    EXPECT_LT(Session->Position(), 2500);
}

// Files the advance can't open are passed over (told, not boxed), and the advance goes on by
// its rules; ten failures in a row, or one for every file, end it with the report. A failure of
// a file queued on the device is passed over the same way.
TEST_P(EndOfTrack, TheAdvancePassesOverFilesItCannotPlay) {
    struct TCase {
        const char* Name;
        int Files;
        std::set<int> Broken;
        bool Repeat;
        bool BreakTheFirstToo; // once it plays: every file fails then
        const char* Played;    // the files started, in order
        int Skipped;
        bool Reported; // the run of failures ended with the box
        bool Playing;  // at the end
    };
    const TCase cases[] = {
        {"in the middle", 5, {1}, false, false, "0 2 3 4", 1, false, false},
        {"the last", 5, {4}, false, false, "0 1 2 3", 1, false, false},
        {"the last with repeat", 5, {4}, true, false, "0 1 2 3 0", 1, false, true},
        {"ten in a row",
         12,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         false,
         false,
         "0",
         9,
         true,
         false},
        {"a whole pass", 4, {1, 2, 3}, true, true, "0", 3, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Session.reset();
        Player.reset();
        MakeSession();
        Device->RefuseQueue = !Gapless();
        std::filesystem::remove_all(Dir / "lib");
        Load({c.Files});
        for (const int f : c.Broken)
            Device->OpenFailures[PathOf(0, f)] = QStringLiteral("not audio");
        Session->SetRepeat(c.Repeat);
        QStringList played;
        int skipped = 0;
        QObject::connect(Session.get(), &TSession::PlayStarted,
                         [&] { played << QString::number(FileIndex()); });
        QObject::connect(Session.get(), &TSession::Skipped, [&](const QString& text) {
            ++skipped;
            EXPECT_TRUE(text.startsWith(QStringLiteral("Skipped '"))) << qPrintable(text);
            EXPECT_TRUE(text.endsWith(QStringLiteral("': not audio"))) << qPrintable(text);
        });
        Run(TCommand::Play);
        if (c.BreakTheFirstToo) Device->OpenFailures[PathOf(0, 0)] = QStringLiteral("not audio");
        for (int t = 0; t < 400 && Session->IsPlaying() && played.size() < 5; ++t)
            Tick();
        EXPECT_EQ(played.join(QLatin1Char(' ')), QString::fromLatin1(c.Played));
        EXPECT_EQ(skipped, c.Skipped);
        EXPECT_EQ(Messages.size(), c.Reported ? 1u : 0u);
        EXPECT_EQ(Session->IsPlaying(), c.Playing);
        Messages.clear();
    }
}

// A file the user chooses gets the report, and nothing moves on by itself.
TEST_F(TSessionFixture, AChosenFileThatCannotBeOpenedIsReported) {
    Load({3});
    Device->OpenFailures[PathOf(0, 1)] = QStringLiteral("not an audio file");
    Run(TCommand::Play);
    Run(TCommand::NextFile);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              QStringLiteral("Unable to open '%1'.\r\rnot an audio file").arg(PathOf(0, 1)));
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_FALSE(Session->FileOpen());
    EXPECT_EQ(Session->State(), TPlayState::Stopped);
    EXPECT_EQ(Session->TitleText(), QStringLiteral("t01")) << "the failed file is named";
    Tick(100);
    EXPECT_EQ(FileIndex(), 1) << "no progression after the failure";
    SelectFile(2);
    Run(TCommand::Play);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Device->OpenPath, PathOf(0, 2));
}

class RandomCycle : public EndOfTrack {};
INSTANTIATE_TEST_SUITE_P(MovedOrGapless, RandomCycle, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Gapless" : "Moved"; });

// Every file once, then a stop or (with Repeat) a new cycle; each move goes to the file that
// was decided while the one before played (drawn once, not again at the end). Without Repeat,
// Next File is offered no more once every file has played.
TEST_P(RandomCycle, EveryFileOnceThenStopOrNewCycle) {
    for (const bool repeat : {false, true}) {
        SCOPED_TRACE(repeat ? "repeat" : "no repeat");
        Session.reset();
        Player.reset();
        MakeSession();
        Device->RefuseQueue = !Gapless();
        Load({4, 1, 5}); // ten files, folders of unequal size
        Session->SetRepeat(repeat);
        Session->SetRandom(true);
        Run(TCommand::Play);
        std::set<std::pair<int, int>> played{{FolderIndex(), FileIndex()}};
        for (int n = 1; n < 10; ++n) {
            const QString decided = LastDecided();
            RunUntilChange();
            ASSERT_TRUE(Session->IsPlaying()) << "stopped after " << n << " files";
            EXPECT_EQ(Player->MediaInfo.FilePath, decided);
            EXPECT_TRUE(played.insert({FolderIndex(), FileIndex()}).second)
                << "file " << FolderIndex() << ";" << FileIndex() << " played twice";
        }
        EXPECT_EQ(played.size(), 10u);
        EXPECT_EQ(Session->Played().Size(), 10);
        EXPECT_EQ(Session->CommandStates().NextFile, repeat);
        // The new cycle may begin with the file that just ended: until the history starts again.
        const QString decided = LastDecided();
        for (int t = 0; t < 200 && Session->Played().Size() == 10 && Session->IsPlaying(); ++t)
            Tick();
        Tick(3);
        if (repeat) {
            EXPECT_TRUE(Session->IsPlaying()) << "a new cycle begins";
            EXPECT_EQ(Player->MediaInfo.FilePath, decided);
            EXPECT_EQ(Session->Played().Size(), 1);
        } else {
            EXPECT_FALSE(Session->IsPlaying()) << "every file played: stop";
        }
    }
}

// The next file is decided with the play and queued on the device; whatever the decision
// depends on drops it and decides again.
TEST_F(TSessionFixture, TheNextFileIsDecidedAheadAndDecidedAgainWhenItsGroundsChange) {
    struct TCase {
        const char* Name;
        int File;                 // played in folder 0 of F0: 4 files, F1: 2 files
        std::function<void()> Do; // the change, a second into the track
        const char* Queued;       // what follows then ("" nothing, "*" a random file)
        bool QueuedAgain;
    };
    const TCase cases[] = {
        {"nothing", 0, [] {}, "F0/t01", false},
        {"pause", 0, [&] { Run(TCommand::Pause); }, "F0/t01", false},
        {"next file", 0, [&] { Run(TCommand::NextFile); }, "F0/t02", true},
        {"prior file", 2, [&] { Run(TCommand::PrevFile); }, "F0/t02", true},
        {"next folder", 0, [&] { Run(TCommand::NextFolder); }, "F1/t01", true},
        {"list selection", 0, [&] { SelectFile(2); }, "F0/t03", true},
        {"repeat at the last file", 3,
         [&] { Run(TCommand::NextFolder), Run(TCommand::NextFile), Session->SetRepeat(true); },
         "F0/t00", true},
        {"random", 0, [&] { Session->SetRandom(true); }, "*", true},
        {"new root", 0,
         [&] {
             WriteFile(Dir / "other/A/x0.mp3", "x");
             WriteFile(Dir / "other/A/x1.mp3", "x");
             LoadRoot(QString::fromStdString(Dir / "other"));
         },
         "A/x1", true},
        {"stop", 0, [&] { Run(TCommand::Stop); }, "", false},
        // A seek drops the device's queue: the same file goes to it again, even for the last
        // seconds (a track is joined to the next whatever is left of it).
        {"seek early", 0, [&] { Session->Seek(600); }, "F0/t01", true},
        {"seek into the last seconds", 0, [&] { Session->Seek(5700); }, "F0/t01", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Session.reset();
        Player.reset();
        MakeSession();
        Load({4, 2});
        SelectFile(c.File);
        Run(TCommand::Play);
        Tick(10);
        ASSERT_FALSE(Device->QueuedPath.isEmpty());
        const int queued = Device->Log.filter(QStringLiteral("QueueNext ")).size();
        c.Do();
        Settle();
        Tick();
        const QString& q = Device->QueuedPath;
        if (*c.Queued == '*') {
            EXPECT_FALSE(q.isEmpty());
            EXPECT_NE(q, Player->MediaInfo.FilePath);
        } else if (*c.Queued) {
            EXPECT_TRUE(q.endsWith(QStringLiteral("/%1.mp3").arg(QLatin1String(c.Queued))))
                << qPrintable(q);
        } else {
            EXPECT_TRUE(q.isEmpty()) << qPrintable(q);
        }
        EXPECT_EQ(Device->Log.filter(QStringLiteral("QueueNext ")).size() > queued, c.QueuedAgain);
    }
}

// A track shorter than the end rule's five seconds is joined to the next like any other, and
// where the device can't go on, the next file follows at the end all the same.
TEST_P(EndOfTrack, AShortTrackGoesOnAtItsEnd) {
    Device->DefaultLength = 3000;
    Load({2});
    Run(TCommand::Play);
    const std::uint32_t start = Clock->Now;
    for (int t = 0; t < 100 && FileIndex() == 0; ++t)
        Tick();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_LE(Clock->Now - start, 3200u);
    EXPECT_EQ(Device->Count((Gapless() ? QStringLiteral("Changed ") : QStringLiteral("Open ")) +
                            PathOf(0, 1)),
              1);
}

// Next in the last second, when the device has taken the queued file over already: the file
// after the one shown plays, and the one after that follows it.
TEST_F(TSessionFixture, NextInTheLastSecondGoesToTheFileAfterTheOneShown) {
    Load({3});
    Run(TCommand::Play);
    Tick(55);
    Device->RefuseDrop = true;
    Run(TCommand::NextFile);
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/t01.mp3")));
    EXPECT_LT(Session->Position(), 100);
    Tick(20);
    EXPECT_EQ(FileIndex(), 1) << "the change the device had taken over was dropped";
    RunUntilChange();
    EXPECT_EQ(FileIndex(), 2);
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + Player->MediaInfo.FilePath), 1);
}

// Repeat switched off when the device has taken the restart over already: at the change the
// session goes back to the track that ended and stops there, as the decision now says.
TEST_F(TSessionFixture, ADecisionChangedTooLateIsCorrectedAtTheChange) {
    Load({2});
    Session->SetRepeat(true);
    SelectFile(1);
    Run(TCommand::Play);
    Tick(55);
    ASSERT_TRUE(Device->QueuedPath.endsWith(QStringLiteral("/t00.mp3")));
    Device->RefuseDrop = true;
    Session->SetRepeat(false);
    RunUntilChange();
    Tick();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_FALSE(Session->IsPlaying());
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/t01.mp3")))
        << qPrintable(Device->OpenPath);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TSessionFixture, SwitchingRandomOnWhilePlayingRecordsTheCurrentFile) {
    Load({3, 3});
    SelectFolder(1);
    SelectFile(2);
    Run(TCommand::Play);
    Session->SetRandom(true);
    EXPECT_EQ(Session->Played().Size(), 1);
    EXPECT_TRUE(Session->Played().Contains(1, 2));
    // Switching it on while stopped starts an empty history.
    Session->SetRandom(false);
    Run(TCommand::Stop);
    Session->SetRandom(true);
    EXPECT_EQ(Session->Played().Size(), 0);
}

// Switching the order re-sorts the library in place: the playing file stays selected by name and
// plays on, its place in the history follows it, and what comes next follows the new order.
TEST_F(TSessionFixture, NaturalOrderResortsKeepingTheSelectionTheHistoryAndPlaying) {
    for (const char* name :
         {"lib/Disc 2/Track 9.mp3", "lib/Disc 2/Track 10.mp3", "lib/Disc 10/1.mp3"})
        WriteFile(Dir / name, "x");
    LoadRoot(QString::fromStdString(Dir / "lib"));
    SelectFolder(1); // "Disc 10" sorts first as text, "Track 10" before "Track 9"
    SelectFile(1);
    Run(TCommand::Play);
    Session->SetRandom(true); // the history holds the playing file
    Session->SetRandom(false);
    const int opens = Opens();
    // As text the playing file is the library's last: nothing is queued after it.
    const std::tuple<bool, int, int, QString> steps[] = {{true, 0, 0, "/Disc 2/Track 10.mp3"},
                                                         {false, 1, 1, {}},
                                                         {true, 0, 0, "/Disc 2/Track 10.mp3"}};
    for (const auto& [natural, folder, file, queued] : steps) {
        Session->SetNaturalOrder(natural);
        Tick();
        EXPECT_EQ(std::pair(FolderIndex(), FileIndex()), std::pair(folder, file));
        EXPECT_TRUE(Session->Played().Contains(folder, file));
        EXPECT_EQ(Device->QueuedPath.isEmpty(), queued.isEmpty());
        EXPECT_TRUE(Device->QueuedPath.endsWith(queued)) << qPrintable(Device->QueuedPath);
    }
    EXPECT_EQ(Opens(), opens) << "the playing file is not opened again";
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Device->OpenPath, PathOf(0, 0));
}

TEST_F(TSessionFixture, PriorFileFromFirstFileWhilePlayingEndsOnPreviousFoldersLast) {
    Load({3, 2, 2});
    SelectFolder(2);
    Run(TCommand::Play);
    const int opens = Opens();
    Run(TCommand::PrevFile);
    EXPECT_EQ(FolderIndex(), 1);
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Opens(), opens + 1) << "the folder's first file is not opened on the way";
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/F1/t01.mp3")))
        << qPrintable(Device->OpenPath);
    Run(TCommand::PrevFile);
    EXPECT_EQ(FileIndex(), 0);
    Run(TCommand::PrevFolder);
    EXPECT_EQ(FolderIndex(), 0);
    EXPECT_EQ(FileIndex(), 0);
    Run(TCommand::NextFolder);
    EXPECT_EQ(FolderIndex(), 1);
}

TEST_F(TSessionFixture, SelectingWhileStoppedOnlyOpensWhilePlayingPlays) {
    Load({3});
    SelectFile(2);
    EXPECT_FALSE(Session->IsPlaying());
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), 0);
    Run(TCommand::Play);
    SelectFile(0);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Device->Mode(), TMPModes::mpPlaying);
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/F0/t00.mp3")));
}

// What a command changes is told once, after it: a move while playing never reads "stopped",
// and a pause followed by a move plays the new file with the pause forgotten.
TEST_F(TSessionFixture, AMoveIsToldOnceAndEndsPlayingWhateverCameBefore) {
    Load({3});
    Run(TCommand::Play);
    Tick(10);
    QStringList told;
    const auto record = [&](const char* what) {
        return [&told, what] { told << QString::fromLatin1(what); };
    };
    QObject::connect(Session.get(), &TSession::StateChanged, record("state"));
    QObject::connect(Session.get(), &TSession::FileChanged, record("file"));
    QObject::connect(Session.get(), &TSession::InfoChanged, record("info"));
    Session->Run(TCommand::NextFile);
    EXPECT_EQ(told, QStringList{QStringLiteral("file")}) << "nothing in between";
    Settle();
    EXPECT_EQ(told, QStringList({QStringLiteral("file"), QStringLiteral("info")}));
    EXPECT_EQ(Session->State(), TPlayState::Playing);

    Run(TCommand::Pause);
    ASSERT_TRUE(Session->IsPaused());
    Run(TCommand::NextFile);
    EXPECT_EQ(Session->State(), TPlayState::Playing);
    EXPECT_EQ(Device->Mode(), TMPModes::mpPlaying);
    Run(TCommand::Pause);
    EXPECT_TRUE(Session->IsPaused()) << "the first press after the move pauses";
    EXPECT_EQ(Device->Mode(), TMPModes::mpPaused);
}

// A stop that comes while a file is still opening (a remote's Stop right after Play) wins: the
// device ends stopped, and so does what the session says.
TEST_F(TSessionFixture, AStopWhileAFileOpensLeavesEverythingStopped) {
    Load({2});
    Session->SelectFile(1);
    Session->Run(TCommand::Play);
    EXPECT_TRUE(Session->IsPlaying());
    Session->Run(TCommand::Stop);
    Settle();
    EXPECT_EQ(Session->State(), TPlayState::Stopped);
    EXPECT_NE(Device->Mode(), TMPModes::mpPlaying);
    EXPECT_TRUE(Session->FileOpen());
}

TEST_F(TSessionFixture, AScanGivesWayToTheNextAndAnAbortKeepsWhatItFound) {
    const QString first = MakeLibrary({2});
    WriteFile(Dir / "other/A/x0.mp3", "x");
    Session->OpenFolder(first);
    Session->OpenFolder(QString::fromStdString(Dir / "other"));
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, QString::fromStdString(Dir / "other"));
    EXPECT_EQ(Player->Library.TotalFileCount(), 1);
    // Aborted before it found anything, a scan changes nothing and reports nothing.
    WriteFile(Dir / "empty/none.txt", "x");
    Session->OpenFolder(QString::fromStdString(Dir / "empty"));
    Session->AbortScan();
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, QString::fromStdString(Dir / "other"));
    EXPECT_LE(Messages.size(), 1u); // "no audio file" if the scan finished before the abort
}

} // namespace
