// Moving through the library from the main window: sequential and random order, repeat, the
// automatic move at the end of a track, and the previous/next commands.
#include "WindowFixture.h"

#include <set>

using testsupport::TWindowFixture;

namespace {

struct TMoveCase {
    const char* Name;
    std::vector<int> Library;
    int Folder, File;
    bool Repeat;
    bool Moved;
    int WantFolder, WantFile;
    int Opens; // files opened by the move (the same file selected again is not reopened)
};

class SequentialMove : public TWindowFixture, public ::testing::WithParamInterface<TMoveCase> {};

TEST_P(SequentialMove, NextFileAtEveryBoundary) {
    const TMoveCase& c = GetParam();
    Load(c.Library);
    Form().ActLoop->setChecked(c.Repeat);
    SelectFolder(c.Folder);
    SelectFile(c.File);
    const int opensBefore = static_cast<int>(Device->Log.filter(QStringLiteral("Open ")).size());
    EXPECT_EQ(Window->MoveNext(), c.Moved);
    EXPECT_EQ(FolderIndex(), c.WantFolder);
    EXPECT_EQ(FileIndex(), c.WantFile);
    const int opens = static_cast<int>(Device->Log.filter(QStringLiteral("Open ")).size());
    EXPECT_EQ(opens - opensBefore, c.Opens);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, SequentialMove,
    ::testing::Values(TMoveCase{"InsideFolder", {2, 1}, 0, 0, false, true, 0, 1, 1},
                      TMoveCase{"LastFileToNextFolder", {2, 1}, 0, 1, false, true, 1, 0, 1},
                      TMoveCase{"EndOfLibraryStops", {2, 1}, 1, 0, false, false, 1, 0, 0},
                      TMoveCase{"EndOfLibraryRepeats", {2, 1}, 1, 0, true, true, 0, 0, 1},
                      TMoveCase{"OneFolderRepeats", {3}, 0, 2, true, true, 0, 0, 1},
                      TMoveCase{"OneFileRepeatsItself", {1}, 0, 0, true, true, 0, 0, 0},
                      TMoveCase{"OneFileNoRepeat", {1}, 0, 0, false, false, 0, 0, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(TWindowFixture, TrackEndMovesOnAndTheLastStopsShowingTheDuration) {
    Load({2});
    Run(Form().ActPlay);
    ASSERT_TRUE(Player->IsPlaying());
    RunUntilChange();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Player->IsPlaying()) << "the next file starts by itself";
    RunUntilChange();
    EXPECT_FALSE(Player->IsPlaying()) << "the end of the library stops";
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_EQ(Form().LblPosition->text(), Form().LblDuration->text());
    EXPECT_EQ(Form().LblDuration->text(), QStringLiteral("00:06"));
    EXPECT_FALSE(Window->State().WatchForEnd);
}

TEST_F(TWindowFixture, EndOfLibraryWithReversedTimeShowsZero) {
    Load({1});
    Form().ActReversedElasped->setChecked(true);
    Run(Form().ActPlay);
    RunUntilChange();
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:00"));
}

TEST_F(TWindowFixture, OneFileWithRepeatPlaysAgainAtItsEnd) {
    Load({1});
    Form().ActLoop->setChecked(true);
    Run(Form().ActPlay);
    const int plays = Device->Count(QStringLiteral("Play"));
    for (int t = 0; t < 80; ++t)
        Tick();
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), plays + 1) << "played again from its start";
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_LT(Player->Position(), 2500);
}

class RandomCycle : public TWindowFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(RandomCycle, EveryFileOnceThenStopOrNewCycle) {
    const bool repeat = GetParam();
    Load({4, 1, 5}); // ten files, folders of unequal size
    Form().ActLoop->setChecked(repeat);
    Run(Form().ActShuffle);
    Run(Form().ActPlay);
    std::set<std::pair<int, int>> played{{FolderIndex(), FileIndex()}};
    for (int n = 1; n < 10; ++n) {
        RunUntilChange();
        ASSERT_TRUE(Player->IsPlaying()) << "stopped after " << n << " files";
        EXPECT_TRUE(played.insert({FolderIndex(), FileIndex()}).second)
            << "file " << FolderIndex() << ";" << FileIndex() << " played twice";
    }
    EXPECT_EQ(played.size(), 10u);
    EXPECT_EQ(Window->Played().Size(), 10);
    RunUntilChange();
    for (int t = 0; t < 3; ++t)
        Tick();
    if (repeat) {
        EXPECT_TRUE(Player->IsPlaying()) << "a new cycle begins";
        EXPECT_EQ(Window->Played().Size(), 1);
    } else {
        EXPECT_FALSE(Player->IsPlaying()) << "every file played: stop";
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutRepeat, RandomCycle, ::testing::Bool());

TEST_F(TWindowFixture, SwitchingRandomOnWhilePlayingRecordsTheCurrentFile) {
    Load({3, 3});
    SelectFolder(1);
    SelectFile(2);
    Run(Form().ActPlay);
    Run(Form().ActShuffle);
    EXPECT_EQ(Window->Played().Size(), 1);
    EXPECT_TRUE(Window->Played().Contains(1, 2));
    // Switching it on while stopped starts an empty history.
    Run(Form().ActShuffle);
    Run(Form().ActStop);
    Run(Form().ActShuffle);
    EXPECT_EQ(Window->Played().Size(), 0);
}

TEST_F(TWindowFixture, PriorFileFromFirstFileWhilePlayingEndsOnPreviousFoldersLast) {
    Load({3, 2, 2});
    SelectFolder(2);
    Run(Form().ActPlay);
    Run(Form().ActPrevFile);
    EXPECT_EQ(FolderIndex(), 1);
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/F1/t01.mp3")))
        << qPrintable(Device->OpenPath);
    Run(Form().ActPrevFile);
    EXPECT_EQ(FileIndex(), 0);
    Run(Form().ActPrevFolder);
    EXPECT_EQ(FolderIndex(), 0);
    EXPECT_EQ(FileIndex(), 0);
    Run(Form().ActNextFolder);
    EXPECT_EQ(FolderIndex(), 1);
}

TEST_F(TWindowFixture, SelectingWhileStoppedOnlyOpensWhilePlayingPlays) {
    Load({3});
    SelectFile(2);
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), 0);
    Run(Form().ActPlay);
    SelectFile(0);
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/F0/t00.mp3")));
}

TEST_F(TWindowFixture, ListsWhileDroppedDownActOnlyAfterTheyClose) {
    Load({3});
    emit Form().edFile->DropDown();
    SelectFile(2);
    EXPECT_EQ(Window->State().CurFileIndex, 0) << "browsing an open list opens nothing";
    emit Form().edFile->CloseUp();
    emit Form().edFile->activated(2);
    EXPECT_EQ(Window->State().CurFileIndex, 2);
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("t02.mp3")));
}

TEST_F(TWindowFixture, ListsShowCleanedNames) {
    testsupport::WriteFile(Dir / "lib/Best_Of__Rock/My__Song_.mp3", "x");
    testsupport::WriteFile(Dir / "lib/Best_Of__Rock/Sub_Dir/b.MP3", "x");
    LoadRoot(QString::fromStdString(Dir / "lib"));
    ASSERT_EQ(Form().edFolder->count(), 2);
    EXPECT_EQ(Form().edFolder->itemText(0), QStringLiteral("Best Of Rock"));
    EXPECT_EQ(Form().edFolder->itemText(1), QStringLiteral("Best Of Rock / Sub Dir"));
    EXPECT_EQ(Form().edFile->itemText(0), QStringLiteral("My Song "));
}

TEST_F(TWindowFixture, OpenFailureIsReportedAndTheNextSelectionRetries) {
    Load({2});
    Device->FailEveryOpen = QStringLiteral("not an audio file");
    SelectFile(1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.startsWith(QStringLiteral("Unable to open '")));
    EXPECT_TRUE(Messages[0].Text.endsWith(QStringLiteral("t01.mp3'.\r\rnot an audio file")))
        << qPrintable(Messages[0].Text);
    EXPECT_EQ(Window->State().CurFileIndex, 1);
    EXPECT_FALSE(Form().ProgressBar1->isEnabled());
    Device->FailEveryOpen.clear();
    SelectFile(0);
    EXPECT_TRUE(Player->IsOpen);
    EXPECT_TRUE(Form().ProgressBar1->isEnabled());
}

} // namespace
