// Moving through the library from the main window: sequential and random order, repeat, the
// automatic move at the end of a track, and the previous/next commands.
#include "WindowFixture.h"
#include "ui/UFormNotify.h"

#include <QTest>
#include <functional>
#include <set>

using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

// Calls fn for each event of one type that reaches any object, while it lives.
class TEventRecorder : public QObject {
public:
    TEventRecorder(QEvent::Type type, std::function<void(QObject*)> fn)
        : Type(type), Fn(std::move(fn)) {
        qApp->installEventFilter(this);
    }
    ~TEventRecorder() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == Type) Fn(watched);
        return false;
    }

private:
    QEvent::Type Type;
    std::function<void(QObject*)> Fn;
};

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

// The end of a track, moved on by the window (a device that can't go on by itself) and without
// a gap (the device goes on with the file queued in advance): the same moves and display.
class EndOfTrack : public TWindowFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        Device->RefuseQueue = !Gapless();
    }
    bool Gapless() const { return GetParam(); }
    QString PathOf(int folder, int file) const { return Player->Library.FilePath(folder, file); }
    // The file decided last, from the device's log ("QueueNext <path>"; a refusing device
    // logs it too).
    QString LastDecided() const {
        const QStringList q = Device->Log.filter(QStringLiteral("QueueNext "));
        return q.isEmpty() ? QString() : q.last().mid(10);
    }
};
INSTANTIATE_TEST_SUITE_P(MovedOrGapless, EndOfTrack, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Gapless" : "Moved"; });

TEST_P(EndOfTrack, TrackEndMovesOnAndTheLastStopsShowingTheDuration) {
    Load({2});
    Run(Form().ActPlay);
    ASSERT_TRUE(Player->IsPlaying());
    RunUntilChange();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Player->IsPlaying()) << "the next file starts by itself";
    // Without a gap the device went on with it; else the window opened it.
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + PathOf(0, 1)), Gapless() ? 1 : 0);
    EXPECT_EQ(Device->Count(QStringLiteral("Open ") + PathOf(0, 1)), Gapless() ? 0 : 1);
    EXPECT_EQ(Player->MediaInfo.FilePath, PathOf(0, 1));
    EXPECT_LT(Player->Position(), 300);
    RunUntilChange();
    EXPECT_FALSE(Player->IsPlaying()) << "the end of the library stops";
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_EQ(Form().LblPosition->text(), Form().LblDuration->text());
    EXPECT_EQ(Form().LblDuration->text(), QStringLiteral("00:06"));
    EXPECT_FALSE(Window->State().WatchForEnd);
}

TEST_P(EndOfTrack, EndOfLibraryWithReversedTimeShowsZero) {
    Load({1});
    Form().ActReversedElasped->setChecked(true);
    Run(Form().ActPlay);
    RunUntilChange();
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_EQ(Form().LblPosition->text(), QStringLiteral("00:00"));
}

TEST_P(EndOfTrack, OneFileWithRepeatPlaysAgainAtItsEnd) {
    Load({1});
    Form().ActLoop->setChecked(true);
    Run(Form().ActPlay);
    const int plays = Device->Count(QStringLiteral("Play"));
    Tick(80);
    // Played again from its start: by the device itself, or by a second Play.
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), plays + (Gapless() ? 0 : 1));
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + PathOf(0, 0)), Gapless() ? 1 : 0);
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_LT(Player->Position(), 2500);
    EXPECT_TRUE(Window->State().WatchForEnd);
}

// What the user sees at the change, in order: the list selects the new file, the caption
// names it, the pop-up shows it with the history already holding it, then the settings name
// it. The same for a move and a change without a gap.
TEST_P(EndOfTrack, EveryEffectOfAChangeComesInTheOrderOfAMove) {
    Load({2});
    Run(Form().ActShuffle);
    Run(Form().ActPlay); // file 0, so file 1 is the one left to play
    Form().ActPlayNotification->setChecked(true);
    delete FormNotify; // the pop-up is made anew and shown at the change
    FormNotify = nullptr;
    QStringList events;
    const auto state = [&] {
        QString s;
        if (Window->Played().Contains(0, 1)) s += QStringLiteral(" played");
        if (IniText().find("File=1") != std::string::npos) s += QStringLiteral(" saved");
        return s;
    };
    QObject::connect(Form().edFile, &QComboBox::currentIndexChanged, Window.get(),
                     [&](int i) { events << QStringLiteral("select %1").arg(i) + state(); });
    QObject::connect(Window.get(), &QWidget::windowTitleChanged, Window.get(),
                     [&](const QString& t) { events << QStringLiteral("caption ") + t + state(); });
    const TEventRecorder shown(QEvent::Show, [&](QObject* o) {
        if (qobject_cast<TFormNotify*>(o)) events << QStringLiteral("pop-up") + state();
    });
    RunUntilChange();
    EXPECT_EQ(events,
              QStringList({QStringLiteral("select 1"), QStringLiteral("caption Velodra :: t01"),
                           QStringLiteral("pop-up played")}))
        << qPrintable(events.join(QStringLiteral(" | ")));
    EXPECT_EQ(state(), QStringLiteral(" played saved"));
}

// A next file that can't be opened: the usual report, the progression stops there, and the
// next choice works.
TEST_P(EndOfTrack, ANextFileThatCannotBeOpenedIsReportedAndStopsTheProgression) {
    Load({3});
    Device->OpenFailures[PathOf(0, 1)] = QStringLiteral("not an audio file");
    Run(Form().ActPlay);
    RunUntilChange();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              QStringLiteral("Unable to open '%1'.\r\rnot an audio file").arg(PathOf(0, 1)));
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_FALSE(Player->IsOpen);
    EXPECT_FALSE(Window->State().WatchForEnd);
    EXPECT_FALSE(Form().ProgressBar1->isEnabled());
    EXPECT_EQ(Form().LblTitle->text(), QString());
    Tick(100);
    EXPECT_EQ(FileIndex(), 1) << "no progression after the failure";
    EXPECT_EQ(Messages.size(), 1u);
    SelectFile(2);
    Run(Form().ActPlay);
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_EQ(Device->OpenPath, PathOf(0, 2));
}

class RandomCycle : public EndOfTrack {};
INSTANTIATE_TEST_SUITE_P(MovedOrGapless, RandomCycle, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Gapless" : "Moved"; });

// Every file once, then a stop or (with Repeat) a new cycle; each move goes to the file that
// was decided while the one before played (drawn once, not again at the end).
TEST_P(RandomCycle, EveryFileOnceThenStopOrNewCycle) {
    for (const bool repeat : {false, true}) {
        SCOPED_TRACE(repeat ? "repeat" : "no repeat");
        Restart();
        Device->RefuseQueue = !Gapless();
        Load({4, 1, 5}); // ten files, folders of unequal size
        Form().ActLoop->setChecked(repeat);
        Run(Form().ActShuffle);
        Run(Form().ActPlay);
        std::set<std::pair<int, int>> played{{FolderIndex(), FileIndex()}};
        for (int n = 1; n < 10; ++n) {
            const QString decided = LastDecided();
            RunUntilChange();
            ASSERT_TRUE(Player->IsPlaying()) << "stopped after " << n << " files";
            EXPECT_EQ(Player->MediaInfo.FilePath, decided);
            EXPECT_TRUE(played.insert({FolderIndex(), FileIndex()}).second)
                << "file " << FolderIndex() << ";" << FileIndex() << " played twice";
        }
        EXPECT_EQ(played.size(), 10u);
        EXPECT_EQ(Window->Played().Size(), 10);
        const QString decided = LastDecided();
        RunUntilChange();
        Tick(3);
        if (repeat) {
            EXPECT_TRUE(Player->IsPlaying()) << "a new cycle begins";
            EXPECT_EQ(Player->MediaInfo.FilePath, decided);
            EXPECT_EQ(Window->Played().Size(), 1);
        } else {
            EXPECT_FALSE(Player->IsPlaying()) << "every file played: stop";
        }
    }
}

// The next file is decided as soon as a file plays and queued on the device; whatever the
// decision depends on drops it and decides again (at once, or at the next tick).
TEST_F(TWindowFixture, TheNextFileIsDecidedAheadAndDecidedAgainWhenItsGroundsChange) {
    struct TCase {
        const char* Name;
        int File;                 // played in folder 0 of F0: 4 files, F1: 2 files
        std::function<void()> Do; // the change, a second into the track
        const char* Queued;       // what follows then ("" nothing, "*" a random file)
        bool DecidedAgain;
    };
    const auto click = [this](int x) {
        Form().ProgressBar1->resize(200, 17);
        QTest::mouseClick(Form().ProgressBar1, Qt::LeftButton, {}, QPoint(x, 8));
    };
    const TCase cases[] = {
        {"nothing", 0, [] {}, "F0/t01", false},
        {"pause", 0, [&] { Run(Form().ActPause); }, "F0/t01", false},
        {"next file", 0, [&] { Run(Form().ActNextFile); }, "F0/t02", true},
        {"prior file", 2, [&] { Run(Form().ActPrevFile); }, "F0/t02", true},
        {"next folder", 0, [&] { Run(Form().ActNextFolder); }, "F1/t01", true},
        {"list selection", 0, [&] { SelectFile(2); }, "F0/t03", true},
        {"repeat at the last file", 3,
         [&] { Run(Form().ActNextFolder), Run(Form().ActNextFile), Run(Form().ActLoop); }, "F0/t00",
         true},
        {"random", 0, [&] { Run(Form().ActShuffle); }, "*", true},
        {"new root", 0,
         [&] {
             WriteFile(Dir / "other/A/x0.mp3", "x");
             WriteFile(Dir / "other/A/x1.mp3", "x");
             LoadRoot(QString::fromStdString(Dir / "other"));
         },
         "A/x1", true},
        {"stop", 0, [&] { Run(Form().ActStop); }, "", false},
        {"seek early", 0, [&] { click(20); }, "F0/t01", true},
        {"seek into the last seconds", 0, [&] { click(190); }, "", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Restart();
        Load({4, 2});
        SelectFile(c.File);
        Run(Form().ActPlay);
        Tick(10);
        ASSERT_FALSE(Device->QueuedPath.isEmpty());
        const QString before = Device->QueuedPath;
        const int decisions = Device->Log.filter(QStringLiteral("QueueNext ")).size();
        c.Do();
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
        EXPECT_EQ(Device->Log.filter(QStringLiteral("QueueNext ")).size() > decisions,
                  c.DecidedAgain);
    }
}

// The end rule still holds where a track ends within five seconds of its play command (a short
// file, a seek near the end): nothing is queued, and the move comes when the rule allows.
TEST_F(TWindowFixture, ATrackEndingWithinFiveSecondsOfPlayStillWaitsForTheRule) {
    struct TCase {
        const char* Name;
        std::int32_t Length;
        int ClickX; // -1: none
    };
    const TCase cases[] = {{"a 3 s file", 3000, -1},
                           {"a seek to 300 ms before the end", 6000, 190}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Restart();
        Device->DefaultLength = c.Length;
        Load({2});
        Run(Form().ActPlay);
        if (c.ClickX >= 0) {
            Tick(10);
            Form().ProgressBar1->resize(200, 17);
            QTest::mouseClick(Form().ProgressBar1, Qt::LeftButton, {}, QPoint(c.ClickX, 8));
        }
        const std::uint32_t start = Player->PlayStartTick;
        for (int t = 0; t < 100 && FileIndex() == 0; ++t)
            Tick(); // the device stands at the end meanwhile
        EXPECT_EQ(FileIndex(), 1);
        EXPECT_GT(Clock->Now - start, 5000u) << "moved on within the guard";
        EXPECT_EQ(Device->Count(QStringLiteral("Open ") + Player->MediaInfo.FilePath), 1)
            << "opened by the window, not gone on with";
    }
}

// Next in the last second, when the device has taken the queued file over already: the file
// after the one shown plays, and the one after that follows it.
TEST_F(TWindowFixture, NextInTheLastSecondGoesToTheFileAfterTheOneShown) {
    Load({3});
    Run(Form().ActPlay);
    Tick(55);
    Device->RefuseDrop = true;
    Run(Form().ActNextFile);
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/t01.mp3")));
    EXPECT_LT(Player->Position(), 100);
    Tick(20);
    EXPECT_EQ(FileIndex(), 1) << "the change the device had taken over was dropped";
    RunUntilChange();
    EXPECT_EQ(FileIndex(), 2);
    EXPECT_EQ(Device->Count(QStringLiteral("Changed ") + Player->MediaInfo.FilePath), 1);
}

// Repeat switched off when the device has taken the restart over already: at the change the
// window goes back to the track that ended and stops there, as the decision now says.
TEST_F(TWindowFixture, ADecisionChangedTooLateIsCorrectedAtTheChange) {
    Load({2});
    Run(Form().ActLoop);
    SelectFile(1);
    Run(Form().ActPlay);
    Tick(55);
    ASSERT_TRUE(Device->QueuedPath.endsWith(QStringLiteral("/t00.mp3")));
    Device->RefuseDrop = true;
    Run(Form().ActLoop);
    RunUntilChange();
    Tick();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/t01.mp3")))
        << qPrintable(Device->OpenPath);
    EXPECT_EQ(Form().LblPosition->text(), Form().LblDuration->text());
    EXPECT_TRUE(Messages.empty());
}

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
