// The commands of the main window: the enabled states as applied, keys, pause and stop, seeking
// by clicking the bar, the timer's schedule and the texts a file change shows.
#include "WindowFixture.h"
#include "ui/Language.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QLocale>
#include <QTest>

using testsupport::TFormControls;
using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

struct TStates {
    bool Play, Pause, Stop, PrevFolder, PrevFile, NextFile, NextFolder;
};

void ExpectStates(TFormControls& f, const TStates& s, const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(f.ActPlay->isEnabled(), s.Play);
    EXPECT_EQ(f.ActPause->isEnabled(), s.Pause);
    EXPECT_EQ(f.ActStop->isEnabled(), s.Stop);
    EXPECT_EQ(f.ActPrevFolder->isEnabled(), s.PrevFolder);
    EXPECT_EQ(f.ActPrevFile->isEnabled(), s.PrevFile);
    EXPECT_EQ(f.ActNextFile->isEnabled(), s.NextFile);
    EXPECT_EQ(f.ActNextFolder->isEnabled(), s.NextFolder);
}

TEST_F(TWindowFixture, EnabledStatesFollowLibraryPlayerAndOptions) {
    Settle();
    ExpectStates(Form(), {false, false, false, false, false, false, false}, "no library");
    EXPECT_TRUE(Form().ActLoad->isEnabled());
    EXPECT_FALSE(Form().edFolder->isEnabled());

    Load({2, 1});
    ExpectStates(Form(), {true, false, false, false, false, true, true}, "first file, stopped");
    Run(Form().ActPlay);
    ExpectStates(Form(), {true, true, true, false, false, true, true}, "playing");
    Run(Form().ActPause);
    ExpectStates(Form(), {true, true, true, false, false, true, true}, "paused");
    Run(Form().ActNextFolder);
    ExpectStates(Form(), {true, true, true, true, true, false, false}, "last folder, playing");
    Form().ActLoop->setChecked(true);
    Settle();
    EXPECT_TRUE(Form().ActNextFile->isEnabled()) << "repeat with more than one folder";

    Run(Form().ActShuffle);
    ExpectStates(Form(), {true, true, true, false, false, true, false}, "random");

    // While a list is dropped down the move commands keep their last states.
    emit Form().edFolder->DropDown();
    Form().ActShuffle->setChecked(false);
    Settle();
    EXPECT_FALSE(Form().ActPrevFolder->isEnabled());
    emit Form().edFolder->CloseUp();
    Settle();
    EXPECT_TRUE(Form().ActPrevFolder->isEnabled());
}

TEST_F(TWindowFixture, NextFileInRandomOrRepeatNeedsMoreThanOneFile) {
    Load({1});
    Form().ActLoop->setChecked(true);
    Settle();
    EXPECT_FALSE(Form().ActNextFile->isEnabled());
    Form().ActLoop->setChecked(false);
    Run(Form().ActShuffle);
    EXPECT_FALSE(Form().ActNextFile->isEnabled());
}

TEST_F(TWindowFixture, PauseStopPlayLeavesPauseReadyToPause) {
    Load({2});
    Run(Form().ActPlay);
    Run(Form().ActPause);
    EXPECT_EQ(Form().ActPause->text(), QStringLiteral("Resume"));
    EXPECT_TRUE(Session->IsPaused());
    EXPECT_NE(Session->State(), TPlayState::Playing);
    EXPECT_EQ(Session->IsPaused(), true);
    Run(Form().ActStop);
    EXPECT_EQ(Form().ActPause->text(), QStringLiteral("Pause"));
    EXPECT_EQ(Session->IsPaused(), false);
    Run(Form().ActPlay);
    Run(Form().ActPause);
    EXPECT_TRUE(Session->IsPaused()) << "one press pauses";
    Run(Form().ActPause);
    EXPECT_FALSE(Session->IsPaused());
    EXPECT_EQ(Session->State(), TPlayState::Playing);
    EXPECT_EQ(Form().ActPause->toolTip(), QStringLiteral("Pause"));
}

TEST_F(TWindowFixture, PlayWhilePlayingRestartsFromTheBeginning) {
    Load({1});
    Run(Form().ActPlay);
    Tick(20);
    ASSERT_GT(Session->Position(), 1000);
    Run(Form().ActPlay);
    EXPECT_LT(Session->Position(), 200);
    EXPECT_TRUE(Session->IsPlaying());
}

TEST_F(TWindowFixture, ClickingTheBarSeeksAndKeepsPauseOrStop) {
    Load({1});
    Form().ProgressBar1->resize(184, 17);
    // Stopped: the click seeks, nothing starts.
    QTest::mouseClick(Form().ProgressBar1, Qt::LeftButton, {}, QPoint(92, 8));
    Settle();
    EXPECT_TRUE(Device->Log.contains(QStringLiteral("Seek 3000")))
        << qPrintable(Device->Log.join(','));
    EXPECT_FALSE(Session->IsPlaying());
    // Paused: the position moves and it stays paused.
    Run(Form().ActPlay);
    Run(Form().ActPause);
    QTest::mouseClick(Form().ProgressBar1, Qt::LeftButton, {}, QPoint(46, 8));
    Settle();
    EXPECT_TRUE(Device->Log.contains(QStringLiteral("Seek 1500")));
    EXPECT_TRUE(Session->IsPaused());
    EXPECT_EQ(Session->Position(), 1500);
    // Other buttons do nothing.
    const auto before = Device->Log.size();
    QTest::mouseClick(Form().ProgressBar1, Qt::RightButton, {}, QPoint(10, 8));
    EXPECT_EQ(Device->Log.size(), before);
}

TEST_F(TWindowFixture, KeysWorkWhateverHasTheFocus) {
    Load({2, 2});
    Window->show();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Form().edFile->setFocus();
    QTest::keyClick(Window.get(), Qt::Key_F2);
    EXPECT_TRUE(Session->IsPlaying());
    QTest::keyClick(Form().edFile, Qt::Key_F3);
    EXPECT_TRUE(Session->IsPaused());
    QTest::keyClick(Form().edFile, Qt::Key_F4);
    EXPECT_FALSE(Session->IsPlaying()) << "F4 stops even in a drop-down list";
    EXPECT_FALSE(Form().edFile->view()->isVisible());
    QTest::keyClick(Window.get(), Qt::Key_F7);
    EXPECT_EQ(FileIndex(), 1);
    QTest::keyClick(Window.get(), Qt::Key_F6);
    EXPECT_EQ(FileIndex(), 0);
    QTest::keyClick(Window.get(), Qt::Key_F7, Qt::ControlModifier);
    EXPECT_EQ(FolderIndex(), 1);
    QTest::keyClick(Window.get(), Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(FolderIndex(), 0);
    NextBrowse.clear();
    QTest::keyClick(Window.get(), Qt::Key_F5);
    Form().ActInclOther->setChecked(true);
    QTest::keyClick(Window.get(), Qt::Key_F5);
    Form().ActInclOther->setChecked(false);
    EXPECT_EQ(Browsed, QStringList({QStringLiteral("Select folder containing MP3 and WMA files."),
                                    QStringLiteral("Select folder containing music files.")}));
    QTest::keyClick(Window.get(), Qt::Key_F9);
    EXPECT_TRUE(Form().ActCompact->isChecked());
}

TEST_F(TWindowFixture, WithoutALibraryOnlyLoadAnswersTheKeys) {
    Window->show();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Settle();
    for (auto key : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F6, Qt::Key_F7})
        QTest::keyClick(Window.get(), key);
    EXPECT_TRUE(Device->Log.isEmpty()) << qPrintable(Device->Log.join(','));
    EXPECT_TRUE(Messages.empty());
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Browsed.size(), 1);
}

TEST_F(TWindowFixture, TimerSlotsCountFromPlayAndAllFireAtTheMinutesWrap) {
    // A title too wide for the display (the marquee runs) and a channel mode (it animates).
    WriteFile(Dir / "lib/F0/long.mp3", Mp3(std::string(60, 'W')));
    Device->DefaultLength = 600000;
    LoadRoot(QString::fromStdString(Dir / "lib"));
    const auto fast = [&] { return C.TmrMain->isActive() && C.TmrMain->interval() == 100; };
    EXPECT_FALSE(fast()) << "stopped, only the title moves";
    Run(Form().ActPlay);
    EXPECT_TRUE(fast()) << "playing";
    Tick(2);
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:00")) << "first refresh after 300 ms";
    Clock->Advance(900);
    Tick(1); // 300 ms after Play, 1.2 s of playing
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:01"));
    EXPECT_EQ(Window->State().TmrMainTag, 300);
    Tick(596);
    const TWindowState before = Window->State();
    ASSERT_EQ(before.TmrMainTag, 59900);
    ASSERT_GE(before.TitleScrollPos, 0);
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("01:00")) << "refreshed at 59.7 s";
    Tick(1);
    const TWindowState after = Window->State();
    EXPECT_EQ(after.TmrMainTag, 0);
    EXPECT_NE(after.TitleScrollPos, before.TitleScrollPos) << "marquee stepped";
    EXPECT_EQ(after.LblModeTag, (before.LblModeTag + 1) % 12) << "channel-mode animation stepped";
    EXPECT_EQ(after.LblPositionTag, before.LblPositionTag + 300) << "position refreshed";
    Run(Form().ActPause);
    EXPECT_EQ(C.TmrMain->interval(), 1000) << "paused, the title still scrolls once a second";
}

// A screen reader reads the label by what it shows, and the bar's value as the time played.
TEST_F(TWindowFixture, ReversedTimeCountsDownAtTheNextRefreshAndIsReadAsRemaining) {
    Load({1});
    Run(Form().ActPlay);
    Clock->Advance(2000);
    Tick(3);
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:02"));
    EXPECT_EQ(Form().LblPosition->accessibleName(), QStringLiteral("Elapsed"));
    EXPECT_EQ(Form().LblPosition->accessibleDescription(), QStringLiteral("00:02"));
    EXPECT_EQ(Form().ProgressBar1->accessibleDescription(), QStringLiteral("00:02 of 00:06"));
    Run(Form().ActReversedElasped);
    Tick(2);
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:02")) << "waits for the 300 ms slot";
    Tick(1);
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:03"));
    EXPECT_EQ(Form().LblPosition->accessibleName(), QStringLiteral("Remaining"));
    EXPECT_EQ(Form().LblPosition->accessibleDescription(), QStringLiteral("00:03"));
    EXPECT_EQ(Form().ProgressBar1->accessibleDescription(), QStringLiteral("00:02 of 00:06"));
    InstallAccessibleRoles();
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(Form().LblPosition2)->state().invisible)
        << "its shadow is not read twice";
}

// 96 and 88.2 kHz come only from WMA files; the display and the about box read one rate text.
TEST_F(TWindowFixture, HighSampleRatesShowInTheDisplayAndTheAboutBox) {
    QLocale::setDefault(QLocale(QLocale::English));
    WriteFile(Dir / "lib/a.wma", Wma(96000));
    WriteFile(Dir / "lib/b.wma", Wma(88200));
    Form().ActInclWMA->setChecked(true);
    LoadRoot(QString::fromStdString(Dir / "lib"));
    const std::pair<int, const char*> cases[] = {{0, "96 kHz"}, {1, "88.2 kHz"}};
    for (const auto& [file, rate] : cases) {
        SCOPED_TRACE(rate);
        SelectFile(file);
        EXPECT_EQ(Form().LblBitRate->text(),
                  QString::fromUtf8(rate) + QStringLiteral("  128 kbps"));
        Messages.clear();
        Run(Form().ActAbout);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("\r    Sample rate: ") +
                                              QString::fromUtf8(rate) + QLatin1Char('\r')))
            << qPrintable(Messages[0].Text);
    }
    QLocale::setDefault(QLocale::c());
}

TEST_F(TWindowFixture, TitleFallsBackToTheFileNameAndSetsTheCaption) {
    WriteFile(Dir / "lib/F0/a.mp3", Mp3("Real Title"));
    WriteFile(Dir / "lib/F0/b_file.mp3", "no tag");
    LoadRoot(QString::fromStdString(Dir / "lib"));
    EXPECT_EQ(Window->State().TitleText, QStringLiteral("Real Title"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra :: Real Title"));
    SelectFile(1);
    EXPECT_EQ(Window->State().TitleText, QStringLiteral("b file"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra :: b file"));
}

TEST_F(TWindowFixture, LoadCancelledChangesNothingAndAFailedScanKeepsTheLists) {
    Load({2});
    NextBrowse.clear();
    Run(Form().ActLoad);
    EXPECT_EQ(Form().edFile->count(), 2);
    EXPECT_TRUE(Messages.empty());
    const std::string empty = Dir / "empty";
    std::filesystem::create_directories(empty);
    NextBrowse = QString::fromStdString(empty);
    Run(Form().ActLoad);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              QStringLiteral("Could not find any audio file in '%1'.").arg(NextBrowse));
    EXPECT_EQ(Form().edFile->count(), 2);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra"));
}

// A second Load while the first one's scan runs: the first gives way, the second is loaded.
TEST_F(TWindowFixture, LoadDuringAScanStopsItAndLoadsTheNewFolder) {
    NextBrowse = MakeLibrary({30, 30});
    Form().ActLoad->trigger();
    ASSERT_TRUE(Session->Scanning());
    WriteFile(Dir / "other/x/a.mp3", "x");
    NextBrowse = QString::fromStdString(Dir / "other");
    Form().ActLoad->trigger();
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, NextBrowse);
    EXPECT_EQ(Form().edFolder->count(), 1);
    EXPECT_TRUE(Messages.empty());
}

} // namespace
