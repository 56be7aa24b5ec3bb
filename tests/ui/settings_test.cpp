// The settings file through the main window: what a run leaves for the next one, how bad
// files are read, when a failed save is reported, and how the command line takes over.
#include "WindowFixture.h"

#include "platform/FileName.h"

#include <QDir>
#include <filesystem>

using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

class Settings : public TWindowFixture {
protected:
    // The run that ends: plays or pauses, then closes as the window manager's close box does.
    void CloseWindow() { Window->close(); }
    QString Lib;
};

struct TOptions {
    bool InclWma, Loop, Shuffle, Notify, Compact, ToTray, FolderImage, InclOther, Natural;
};

class RoundTrip : public Settings, public ::testing::WithParamInterface<TOptions> {};

TEST_P(RoundTrip, EveryKeyComesBackAtTheNextStart) {
    const TOptions o = GetParam();
    ShowAndStart();
    Load({2, 3});
    Lib = Player->Library.RootFolder;
    Run(Form().ActNextFolder);
    Run(Form().ActNextFile);
    Run(Form().ActNextFile);
    ASSERT_EQ(FolderIndex(), 1);
    ASSERT_EQ(FileIndex(), 2);
    // The options as the user left them (ticks only, as loading does).
    Form().ActInclWMA->setChecked(o.InclWma);
    Form().ActInclOther->setChecked(o.InclOther);
    Form().ActLoop->setChecked(o.Loop);
    Form().ActShuffle->setChecked(o.Shuffle);
    Form().ActPlayNotification->setChecked(o.Notify);
    Form().ActMinimizeToTray->setChecked(o.ToTray);
    Form().ActFolderImage->setChecked(o.FolderImage);
    Form().ActNaturalOrder->setChecked(o.Natural);
    if (o.Compact) Run(Form().ActCompact);
    Window->move(150, 90);
    Run(Form().ActPlay);
    ASSERT_TRUE(Session->IsPlaying());
    CloseWindow();
    EXPECT_TRUE(Messages.empty());

    Restart();
    Form().ActPlayNotification->setChecked(!o.Notify); // the file, not the default, decides
    ShowAndStart();
    EXPECT_EQ(Player->Library.RootFolder, Lib);
    EXPECT_EQ(Session->Resumed().Folder, 1);
    EXPECT_EQ(Session->Resumed().File, 2);
    EXPECT_TRUE(Window->SettingsKeeper().WasPlaying());
    EXPECT_EQ(Form().ActInclWMA->isChecked(), o.InclWma);
    EXPECT_EQ(Form().ActInclOther->isChecked(), o.InclOther);
    EXPECT_EQ(Form().ActLoop->isChecked(), o.Loop);
    EXPECT_EQ(Form().ActShuffle->isChecked(), o.Shuffle);
    EXPECT_EQ(Form().ActPlayNotification->isChecked(), o.Notify);
    EXPECT_EQ(Form().ActMinimizeToTray->isChecked(), o.ToTray);
    EXPECT_EQ(Form().ActFolderImage->isChecked(), o.FolderImage);
    EXPECT_EQ(Form().ActNaturalOrder->isChecked(), o.Natural);
    EXPECT_EQ(Form().ActCompact->isChecked(), o.Compact);
    EXPECT_EQ(Window->height(), o.Compact ? 150 : 200);
    EXPECT_EQ(Window->pos(), QPoint(150, 90));
    EXPECT_FALSE(Window->State().Minimized);
    EXPECT_EQ(FolderIndex(), 1);
    EXPECT_EQ(FileIndex(), 2);
    EXPECT_TRUE(Session->IsPlaying()) << "playback resumes";
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/F1/t02.mp3")))
        << qPrintable(Device->OpenPath);
    EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, RoundTrip,
    ::testing::Values(TOptions{true, true, false, true, true, true, false, true, true},
                      TOptions{false, false, true, false, false, false, true, false, false}));

TEST_F(Settings, SavedFileHoldsTheThreeSectionsInOrder) {
    ShowAndStart();
    Load({2, 3});
    Run(Form().ActNextFolder);
    Window->move(210, 130);
    Form().ActLoop->setChecked(true);
    Run(Window->findChild<QAction*>(QStringLiteral("ActReplayGainAlbum")));
    Run(Form().ActPlay);
    Run(Form().ActPause);
    CloseWindow();
    const std::string want = "[Last]\n"
                             "Root=" +
                             (Dir / "lib") +
                             "\n"
                             "Folder=1\n"
                             "File=0\n"
                             "Playing=1\n"
                             "Position=0\n"
                             "FolderKey=./F1\n"
                             "FileName=t00.mp3\n"
                             "[Config]\n"
                             "InclWMA=0\n"
                             "Loop=1\n"
                             "Shuffle=0\n"
                             "PlayNotification=0\n"
                             "Opaque=0\n"
                             "InclOther=0\n"
                             "ReplayGain=2\n"
                             "NaturalOrder=0\n"
                             "Volume=100\n"
                             "[Window]\n"
                             "Left=210\n"
                             "Top=130\n"
                             "Compact=0\n"
                             "MinimizeToTray=0\n"
                             "FolderImage=1\n"
                             "Minimized=0\n";
    EXPECT_EQ(IniText(), want);
}

struct TPlayState {
    const char* Name;
    bool Play, Pause, Stop;
    const char* Saved;
};

class ClosingState : public Settings, public ::testing::WithParamInterface<TPlayState> {};

TEST_P(ClosingState, PlayingIsTheStateAtClose) {
    const TPlayState& c = GetParam();
    ShowAndStart();
    Load({2});
    if (c.Play) Run(Form().ActPlay);
    if (c.Pause) Run(Form().ActPause);
    if (c.Stop) Run(Form().ActStop);
    CloseWindow();
    EXPECT_NE(IniText().find(std::string("Playing=") + c.Saved + "\n"), std::string::npos)
        << IniText();
}

INSTANTIATE_TEST_SUITE_P(States, ClosingState,
                         ::testing::Values(TPlayState{"Stopped", false, false, false, "0"},
                                           TPlayState{"Playing", true, false, false, "1"},
                                           TPlayState{"Paused", true, true, false, "1"},
                                           TPlayState{"PlayedThenStopped", true, false, true, "0"}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Settings, SaveAtPlayKeepsTheLoadedPlayingValue) {
    // Only the close records the state of the ending run; the save at Play writes back what
    // was loaded.
    ShowAndStart();
    Load({2});
    Run(Form().ActPlay);
    // Saved off the UI thread: it is there a moment later.
    EXPECT_TRUE(testsupport::WaitFor(
        [&] { return IniText().find("File=0\n") != std::string::npos; }, std::chrono::seconds(5)));
    EXPECT_NE(IniText().find("Playing=0\n"), std::string::npos) << IniText();
}

struct TReadCase {
    const char* Name;
    std::string Text;
    bool Loop, Shuffle, Notify; // as read; the commands start with Loop off, Notify on
    int Folder, File;
    bool Playing;
    QPoint Pos;
};

class Reading : public Settings, public ::testing::WithParamInterface<TReadCase> {};

TEST_P(Reading, DefaultsForWhatCannotBeRead) {
    const TReadCase& c = GetParam();
    Form().ActPlayNotification->setChecked(true);
    if (c.Text == "<directory>")
        std::filesystem::create_directories(IniPath());
    else if (c.Text != "<missing>")
        WriteIni(c.Text);
    ShowAndStart();
    EXPECT_EQ(Form().ActLoop->isChecked(), c.Loop);
    EXPECT_EQ(Form().ActShuffle->isChecked(), c.Shuffle);
    EXPECT_EQ(Form().ActPlayNotification->isChecked(), c.Notify);
    EXPECT_FALSE(Form().ActInclWMA->isChecked());
    EXPECT_EQ(Session->Resumed().Folder, c.Folder);
    EXPECT_EQ(Session->Resumed().File, c.File);
    EXPECT_EQ(Window->SettingsKeeper().WasPlaying(), c.Playing);
    EXPECT_EQ(Window->pos(), c.Pos);
    EXPECT_TRUE(Messages.empty());
}

std::string Garbage() {
    std::string s;
    for (int i = 0; i < 4096; ++i)
        s += static_cast<char>((i * 131 + 7) % 256);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Reading,
    ::testing::Values(
        TReadCase{"Missing", "<missing>", false, false, true, -1, -1, false, {199, 124}},
        TReadCase{"Directory", "<directory>", false, false, true, -1, -1, false, {199, 124}},
        TReadCase{"Empty", "", false, false, true, -1, -1, false, {199, 124}},
        TReadCase{"Garbage", Garbage(), false, false, true, -1, -1, false, {199, 124}},
        TReadCase{"YesIsTheDefaultTwoIsTrue",
                  "[Config]\nLoop=yes\nShuffle=2\nPlayNotification=0\n[Last]\nPlaying=2\n",
                  false,
                  true,
                  false,
                  -1,
                  -1,
                  true,
                  {199, 124}},
        TReadCase{"UnparsableNumbers",
                  "[Last]\nFolder=one\nFile=0x10\nPlaying=\n[Window]\nLeft=1e3\nTop=30\n",
                  false,
                  false,
                  true,
                  -1,
                  -1,
                  false,
                  {199, 30}},
        TReadCase{"MegabyteLine",
                  "[Last]\nFolder=2\nRoot=" + std::string(1 << 20, 'x') + "\nFile=4\n",
                  false,
                  false,
                  true,
                  2,
                  4,
                  false,
                  {199, 124}},
        TReadCase{"CaseAndBlanksOfNames",
                  "[last]\n Folder =3\nfile= 5\n[CONFIG]\nloop=1\n",
                  true,
                  false,
                  true,
                  3,
                  5,
                  false,
                  {199, 124}}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Settings, OpacityIsReadWithoutEffectAndSavedAsNone) {
    WriteIni("[Config]\nOpaque=50\n");
    ShowAndStart();
    EXPECT_TRUE(Form().OpacityNone->isChecked());
    EXPECT_FALSE(Form().Opacity50->isChecked());
    EXPECT_DOUBLE_EQ(Window->windowOpacity(), 1.0);
    CloseWindow();
    EXPECT_NE(IniText().find("Opaque=0\n"), std::string::npos) << IniText();
}

TEST_F(Settings, MinimisedSaveLeavesThePositionOutAndTheDesignPositionReturns) {
    ShowAndStart();
    Window->move(300, 200);
    Window->showMinimized();
    ASSERT_TRUE(Window->State().Minimized);
    CloseWindow();
    const std::string text = IniText();
    EXPECT_EQ(text.find("Left="), std::string::npos) << text;
    EXPECT_EQ(text.find("Top="), std::string::npos) << text;
    EXPECT_NE(text.find("Minimized=1\n"), std::string::npos) << text;

    Restart();
    ShowAndStart();
    EXPECT_TRUE(Window->State().Minimized) << "the start minimises again";
    EXPECT_EQ(Window->pos(), QPoint(199, 124));
}

TEST_F(Settings, OffScreenPositionIsBroughtOntoTheDesktop) {
    WriteIni("[Window]\nLeft=-500\nTop=99999\n");
    ShowAndStart();
    const QRect area = Window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(Window->frameGeometry())) << Window->x() << "," << Window->y();
}

struct TIndexCase {
    const char* Name;
    int Folder, File;
    bool Playing;
    int WantFolder, WantFile;
};

class SavedIndices : public Settings, public ::testing::WithParamInterface<TIndexCase> {};

TEST_P(SavedIndices, RestoredOnlyWhenTheyLieInTheRescannedLibrary) {
    const TIndexCase& c = GetParam();
    Lib = MakeLibrary({2, 2});
    WriteIni("[Last]\nRoot=" + Lib.toStdString() + "\nFolder=" + std::to_string(c.Folder) +
             "\nFile=" + std::to_string(c.File) + "\nPlaying=" + (c.Playing ? "1" : "0") + "\n");
    ShowAndStart();
    EXPECT_EQ(FolderIndex(), c.WantFolder);
    EXPECT_EQ(FileIndex(), c.WantFile);
    EXPECT_EQ(Session->IsPlaying(), c.Playing);
    EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Library, SavedIndices,
                         ::testing::Values(TIndexCase{"Inside", 1, 1, false, 1, 1},
                                           TIndexCase{"InsidePlaying", 1, 0, true, 1, 0},
                                           TIndexCase{"FolderBeyond", 3, 7, false, 0, 0},
                                           TIndexCase{"FolderBeyondPlaying", 3, 7, true, 0, 0},
                                           TIndexCase{"FileBeyond", 1, 2, true, 0, 0},
                                           TIndexCase{"NoFolder", -1, 1, false, 0, 0},
                                           TIndexCase{"NoFile", 1, -1, true, 0, 0}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Settings, BeyondTheLibraryInRandomModeStaysOnTheRandomChoice) {
    Lib = MakeLibrary({3, 3, 3});
    WriteIni("[Last]\nRoot=" + Lib.toStdString() +
             "\nFolder=5\nFile=5\nPlaying=1\n"
             "[Config]\nShuffle=1\n");
    ShowAndStart();
    EXPECT_GE(FolderIndex(), 0);
    EXPECT_GE(FileIndex(), 0);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Session->Played().Size(), 1);
}

TEST_F(Settings, CommandLineFolderWinsAndIgnoresSavedIndices) {
    const QString saved = MakeLibrary({2, 2});
    std::filesystem::create_directories(Dir / "other/A");
    std::filesystem::create_directories(Dir / "other/B");
    WriteFile(Dir / "other/A/a1.mp3", "x");
    WriteFile(Dir / "other/B/b1.mp3", "x");
    WriteFile(Dir / "other/B/b2.mp3", "x");
    const QString other = QString::fromStdString(Dir / "other");
    WriteIni("[Last]\nRoot=" + saved.toStdString() + "\nFolder=1\nFile=1\nPlaying=1\n");
    Window->SetCommandLine({other});
    ShowAndStart();
    EXPECT_EQ(Player->Library.RootFolder, other);
    EXPECT_EQ(FolderIndex(), 0);
    EXPECT_EQ(FileIndex(), 0);
    EXPECT_TRUE(Session->IsPlaying()) << "the saved Playing still applies";
    EXPECT_TRUE(Device->OpenPath.endsWith(QStringLiteral("/A/a1.mp3")))
        << qPrintable(Device->OpenPath);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Settings, InvalidCommandLineFolderIsReportedAndTheSavedLibraryLoads) {
    Lib = MakeLibrary({2, 2});
    WriteIni("[Last]\nRoot=" + Lib.toStdString() + "\nFolder=1\nFile=1\n");
    const QString bad = QString::fromStdString(Dir / "lib/F0/gone");
    Window->SetCommandLine({bad, QStringLiteral("ignored")});
    ShowAndStart();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Velodra"));
    EXPECT_EQ(Messages[0].Text, QStringLiteral("Invalid folder: ") + bad);
    EXPECT_EQ(Player->Library.RootFolder, Lib);
    EXPECT_EQ(FolderIndex(), 1);
    EXPECT_EQ(FileIndex(), 1);
}

// A file on the command line ("Open With"): one in the saved root plays there; any other's
// folder becomes the root; a file the scan would not take is refused and the saved state loads.
TEST_F(Settings, AFileOnTheCommandLinePlays) {
    Lib = MakeLibrary({2, 2});
    WriteFile(Dir / "elsewhere/x.mp3", "x");
    WriteFile(Dir / "elsewhere/y.wma", "x");
    const struct {
        std::string File;
        std::string Root; // empty: the saved one
        int Folder, Index;
        const char* Refusal;
    } cases[] = {
        {"lib/F1/t00.mp3", "", 1, 0, ""},
        {"elsewhere/x.mp3", "elsewhere", 0, 0, ""},
        {"elsewhere/y.wma", "", 0, 1, " is a WMA file: turn on \"Includes WMA\" to play it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        Restart(); // the last run's saves are done once its window is gone
        WriteIni("[Last]\nRoot=" + Lib.toStdString() + "\nFolder=0\nFile=1\n");
        Messages.clear();
        Window->SetCommandLine({QString::fromStdString(Dir / c.File)});
        ShowAndStart();
        EXPECT_EQ(Player->Library.RootFolder,
                  c.Root.empty() ? Lib : QString::fromStdString(Dir / c.Root));
        EXPECT_EQ(FolderIndex(), c.Folder);
        EXPECT_EQ(FileIndex(), c.Index);
        EXPECT_EQ(Session->IsPlaying(), !*c.Refusal);
        if (*c.Refusal) {
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_TRUE(Messages[0].Text.endsWith(QString::fromUtf8(c.Refusal)));
        } else {
            EXPECT_TRUE(Messages.empty());
        }
    }
}

// Where the file cannot be written: a folder in its place, a configuration "folder" that is a
// file (whose name carries a quote, doubled in the message), a file too large to be ours.
struct TUnwritableCase {
    const char* Name;
    const char* Reason; // empty: the system's own words
};

class UnwritableSettings : public Settings, public ::testing::WithParamInterface<TUnwritableCase> {
protected:
    void MakeUnwritable() {
        const std::string name = GetParam().Name;
        if (name == "ConfigIsAFile") {
            const std::string blocker = Dir / "it's";
            WriteFile(blocker, "a file, not a folder");
            qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(blocker));
            Restart();
        } else if (name == "FolderInPlace") {
            std::filesystem::create_directories(IniPath());
        } else {
            WriteIni("[Last]\n" + std::string(5 << 20, ';'));
        }
    }
    QString Headline() const {
        QString quoted = Window->SettingsKeeper().FileName();
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("Could not write to '") + quoted + QStringLiteral("'.");
    }
    void ExpectReason(const QString& text) {
        ASSERT_TRUE(text.startsWith(Headline() + QStringLiteral("\r\r"))) << qPrintable(text);
        const QString reason = text.mid(Headline().size() + 2);
        if (*GetParam().Reason)
            EXPECT_EQ(reason, QString::fromUtf8(GetParam().Reason));
        else
            EXPECT_FALSE(reason.trimmed().isEmpty());
        EXPECT_FALSE(reason.contains(QStringLiteral("Could not write"))) << "said once";
    }
};

TEST_P(UnwritableSettings, FailureIsReportedAtCloseOnlyWithItsReason) {
    MakeUnwritable();
    const std::string before = GetParam().Name == std::string("TooLarge") ? IniText() : "";
    ShowAndStart();
    Load({2});
    Run(Form().ActPlay);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_TRUE(Messages.empty()) << "the save at Play is silent";
    Window->SaveSession(); // logged, not shown: the close still shows it
    EXPECT_TRUE(Messages.empty());
    CloseWindow();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Information"));
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Error);
    ExpectReason(Messages[0].Text);
    EXPECT_EQ(Messages[0].Text.contains(QStringLiteral("it''s")),
              GetParam().Name == std::string("ConfigIsAFile"));
    if (!before.empty()) {
        EXPECT_TRUE(IniText() == before) << "the large file is left alone";
    }
}

// When the session ends nobody answers a message box: the reason goes to the standard error
// stream, once however often the state is saved.
TEST_P(UnwritableSettings, SessionSavesLogTheReasonOnce) {
    MakeUnwritable();
    ShowAndStart();
    Load({2});
    Run(Form().ActPlay);
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler old =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(QStringLiteral("Could not write")))
                warnings << text;
        });
    for (int i = 0; i < 3; ++i)
        Window->SaveSession();
    Window->EndSession();
    qInstallMessageHandler(old);
    EXPECT_TRUE(Messages.empty());
    ASSERT_EQ(warnings.size(), 1) << qPrintable(warnings.join(QLatin1Char('|')));
    EXPECT_TRUE(warnings[0].startsWith(ForDisplay(Headline()) + QLatin1Char(' ')));
    EXPECT_FALSE(Window->isVisible()) << "the session's end closes";
}

INSTANTIATE_TEST_SUITE_P(
    Places, UnwritableSettings,
    ::testing::Values(TUnwritableCase{"FolderInPlace", ""}, TUnwritableCase{"ConfigIsAFile", ""},
                      TUnwritableCase{"TooLarge", "The file is larger than 4 MiB, too large to be "
                                                  "a settings file, so it was left alone."}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Settings, SessionSaveWritesThisMomentAndTheProgramGoesOn) {
    ShowAndStart();
    Load({2, 2});
    Run(Form().ActNextFile);
    Run(Form().ActPlay);
    Clock->Advance(4000);
    Window->SaveSession();
    EXPECT_NE(IniText().find("File=1\nPlaying=1\nPosition=4000\n"), std::string::npos) << IniText();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Session->IsPlaying());
    // The saves at Play still write the value loaded at start-up.
    Run(Form().ActNextFile);
    EXPECT_TRUE(
        testsupport::WaitFor([&] { return IniText().find("Playing=0\n") != std::string::npos; },
                             std::chrono::seconds(5)))
        << IniText();

    Clock->Advance(2500);
    Window->EndSession();
    EXPECT_NE(IniText().find("Folder=1\nFile=0\nPlaying=1\nPosition=2500\n"), std::string::npos)
        << IniText();
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Settings, ClosedBeforeTheStartUpReadTheFileLeavesItAlone) {
    Lib = MakeLibrary({2});
    const std::string text = "[Last]\nRoot=" + Lib.toStdString() + "\nFolder=0\nFile=1\n";
    WriteIni(text);
    Window->show();
    Window->EndSession(); // a signal that came with the window
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return Window->State().StartUpDone; }, std::chrono::seconds(5)));
    EXPECT_EQ(IniText(), text);
}

struct TResumeCase {
    const char* Name;
    int Folder, Saved;
    bool Playing;
    int Want;
};

class Resume : public Settings, public ::testing::WithParamInterface<TResumeCase> {};

TEST_P(Resume, TheRestoredFileGoesOnWhereTheLastRunLeftIt) {
    const TResumeCase& c = GetParam();
    Lib = MakeLibrary({2, 2});
    Device->DefaultLength = 30000;
    WriteIni("[Last]\nRoot=" + Lib.toStdString() + "\nFolder=" + std::to_string(c.Folder) +
             "\nFile=1\nPlaying=" + (c.Playing ? "1" : "0") +
             "\nPosition=" + std::to_string(c.Saved) + "\n");
    ShowAndStart();
    EXPECT_EQ(Device->Position(), c.Want);
    EXPECT_EQ(Session->IsPlaying(), c.Playing);
    EXPECT_EQ(Form().LblPosition->text(), TFormPlayer::FormatTime(c.Want));
    EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Positions, Resume,
                         ::testing::Values(TResumeCase{"Playing", 1, 12000, true, 12000},
                                           TResumeCase{"StoppedWaitsThere", 1, 12000, false, 12000},
                                           TResumeCase{"InTheLastFiveSeconds", 1, 25001, true, 0},
                                           TResumeCase{"NotTheSavedFile", 7, 12000, true, 0}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Settings, PositionAtCloseComesBack) {
    ShowAndStart();
    Load({2});
    Device->DefaultLength = 30000;
    Run(Form().ActNextFile);
    Run(Form().ActPlay);
    Clock->Advance(12000);
    CloseWindow();
    EXPECT_NE(IniText().find("Playing=1\nPosition=12000\nFolderKey=./F0\nFileName=t01.mp3\n"),
              std::string::npos)
        << IniText();
    Restart();
    Device->DefaultLength = 30000;
    ShowAndStart();
    EXPECT_EQ(FileIndex(), 1);
    EXPECT_TRUE(Session->IsPlaying());
    EXPECT_EQ(Device->Position(), 12000);
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), 1) << "no start from the beginning first";
}

TEST_F(Settings, RelativeFolderArgumentIsSavedAbsolute) {
    Lib = MakeLibrary({2});
    const std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(Dir / "lib");
    for (const char* arg : {"./F0/..", "../lib/", "."}) {
        SCOPED_TRACE(arg);
        Window->SetCommandLine({QString::fromLatin1(arg)});
        ShowAndStart();
        CloseWindow();
        EXPECT_TRUE(Player->Library.RootFolder.startsWith(QLatin1Char('/')));
        EXPECT_TRUE(std::filesystem::equivalent(Player->Library.RootFolder.toStdString(),
                                                Lib.toStdString()));
        EXPECT_EQ(IniText().find("Root=."), std::string::npos) << IniText();
        Restart();
    }
    std::filesystem::current_path(was);
    // The folder named "." the last time is found from anywhere.
    ShowAndStart();
    EXPECT_EQ(Player->Library.RootFolder, Lib);
    EXPECT_EQ(FolderIndex(), 0);
}

TEST_F(Settings, OtherSectionsSurviveAndStrayKeysGo) {
    WriteIni("; kept comment\n[Extra]\nb=2\na=1\n[Config]\nLoop=1\nHandMade=yes\n"
             "[Last]\nFolder=0\n[Tail]\nz=9\n");
    ShowAndStart();
    EXPECT_TRUE(Form().ActLoop->isChecked());
    CloseWindow();
    const std::string text = IniText();
    EXPECT_EQ(text.rfind("; kept comment\n[Extra]\nb=2\na=1\n", 0), 0u) << text;
    EXPECT_EQ(text.find("HandMade"), std::string::npos) << text;
    EXPECT_NE(text.find("[Tail]\nz=9\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Loop=1\n"), std::string::npos);
    for (const char* section : {"[Last]", "[Config]", "[Window]", "[Tail]", "[Extra]"}) {
        const auto first = text.find(section);
        EXPECT_NE(first, std::string::npos) << section;
        EXPECT_EQ(text.find(section, first + 1), std::string::npos) << section << " twice";
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Settings, MinimisedStartWhoseScanFailsIsRestoredBeforeTheErrorBox) {
    std::filesystem::create_directories(Dir / "empty/sub");
    WriteIni("[Last]\nRoot=" + (Dir / "empty") + "\nPlaying=1\n[Window]\nMinimized=1\n");
    bool minimisedAtMessage = true;
    SetMessageHandler([&](const TMessage& m) {
        minimisedAtMessage = Window->State().Minimized || Window->isMinimized();
        Messages.push_back(m);
    });
    ShowAndStart();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.startsWith(QStringLiteral("Could not find any audio file in ")))
        << qPrintable(Messages[0].Text);
    EXPECT_FALSE(minimisedAtMessage) << "the window comes back before the box";
    EXPECT_FALSE(Session->IsPlaying());
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(Settings, RootWhoseNameIsNotUtf8ComesBackExactly) {
    const std::string raw = Dir / "lib\xff\xfe-x";
    WriteFile(raw + "/F0/t00.mp3", "x");
    WriteFile(raw + "/F1/t00.mp3", "x");
    const QString root = DecodeFileName(std::string_view(raw));
    ShowAndStart();
    LoadRoot(root);
    Run(Form().ActNextFolder);
    CloseWindow();
    EXPECT_NE(IniText().find("Root=" + raw + "\n"), std::string::npos) << "the name's own bytes";

    Restart();
    ShowAndStart();
    EXPECT_EQ(Player->Library.RootFolder, root);
    EXPECT_EQ(EncodeFileNameStd(Player->Library.RootFolder), raw);
    EXPECT_EQ(FolderIndex(), 1);
    EXPECT_TRUE(Messages.empty());
}

} // namespace
