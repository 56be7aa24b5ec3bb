// The player's playback operations: logic on a scripted device and a hand-driven clock, and a
// few runs on real files through GStreamer into a silent sink.
#include "platform/Error.h"
#include "platform/GstMediaDevice.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace std::chrono_literals;
using testsupport::TFakeClock;
using testsupport::TScriptedMediaDevice;

namespace {

using testsupport::WaitFor;

QString ErrorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EVelodraError& e) {
        return e.Message;
    }
    return QStringLiteral("<no error>");
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Clock = std::make_shared<TFakeClock>();
        Device->Clock = Clock;
        Player = std::make_unique<TFormPlayer>(std::move(device), Clock);
        Player->Library = TLibrary(QStringLiteral("/music"),
                                   {QStringLiteral("/x.mp3"), QStringLiteral("/A/it's.mp3"),
                                    QStringLiteral("/A/B/y.wma")});
    }

    // Opens file (f, i) and plays it, with the stated duration as the readers would set it.
    void OpenAndPlay(std::int32_t duration, std::int32_t deviceLength, int f = 0, int i = 0) {
        Device->DefaultLength = deviceLength;
        Player->OpenFile(f, i);
        Player->MediaInfo.Duration = duration;
        Player->Play();
    }

    // Advances the clock in 100 ms steps, polling as the main timer does, until the track ends;
    // the ms after the play command at which it did, or -1.
    int PollUntilEnded(int limitMs) {
        const std::uint32_t start = Player->PlayStartTick;
        for (int t = 0; t < limitMs; t += 100) {
            Clock->Advance(100);
            if (Player->TrackEnded()) return static_cast<int>(Clock->Now - start);
        }
        return -1;
    }

    TScriptedMediaDevice* Device = nullptr;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TFormPlayer> Player;
};

struct TPathCase {
    const char* Root;
    int Folder;
    const char* Expected;
};

TEST_F(Playback, OpenFileJoinsRootFolderKeyAndName) {
    const TPathCase cases[] = {
        {"/music", 0, "/music/x.mp3"},
        {"/music/", 1, "/music/A/it's.mp3"},
        {"/", 2, "/A/B/y.wma"},
        {"/a/./b", 0, "/a/b/x.mp3"},
    };
    for (const TPathCase& c : cases) {
        Player->Library.RootFolder = QString::fromUtf8(c.Root);
        Player->OpenFile(c.Folder, 0);
        EXPECT_TRUE(Player->IsOpen) << c.Root;
        EXPECT_EQ(Player->MediaInfo.FilePath, QString::fromUtf8(c.Expected)) << c.Root;
        EXPECT_EQ(Device->OpenPath, QString::fromUtf8(c.Expected)) << c.Root;
        EXPECT_EQ(Device->Mode(), TMPModes::mpStopped) << "open doesn't start playback";
    }
    // Each open released the file before it.
    EXPECT_EQ(Device->Count(QStringLiteral("Close")), 3);
}

TEST_F(Playback, OpenFileResetsEverythingOfThePreviousFile) {
    Player->OpenFile(0, 0);
    Player->Play();
    Player->MediaInfo = TMediaInfo{QStringLiteral("Al"),
                                   QStringLiteral("Ar"),
                                   128,
                                   QStringLiteral("Co"),
                                   200000,
                                   QStringLiteral("/old.mp3"),
                                   QStringLiteral("Rock"),
                                   QStringLiteral("Joint Stereo"),
                                   44100,
                                   QStringLiteral("Ti"),
                                   3,
                                   QStringLiteral("1999")};
    Player->LastPosition = 1234;
    Device->OpenFailures[QStringLiteral("/music/A/it's.mp3")] = QStringLiteral("Boom.");

    EXPECT_EQ(ErrorOf([&] { Player->OpenFile(1, 0); }),
              QStringLiteral("Unable to open '/music/A/it''s.mp3'.\r\rBoom."));
    const TMediaInfo& m = Player->MediaInfo;
    EXPECT_FALSE(Player->IsOpen);
    EXPECT_EQ(m.FilePath, QStringLiteral("/music/A/it's.mp3")) << "keeps the path it tried";
    for (const QString& s : {m.Title, m.Artist, m.Album, m.Year, m.Genre, m.Comment, m.ChannelMode})
        EXPECT_TRUE(s.isEmpty()) << s.toStdString();
    EXPECT_EQ(m.Duration, 0);
    EXPECT_EQ(m.Track, 0);
    EXPECT_EQ(m.BitRate, 0);
    EXPECT_EQ(m.SampleRate, 0);
    EXPECT_EQ(Player->PlayStartTick, 0u);
    EXPECT_EQ(Player->LastPosition, -1);
    EXPECT_FALSE(Device->DeviceOpen()) << "the previous file was closed";

    // Nothing open now: play fails with the device's own text, and the start tick stays 0.
    EXPECT_EQ(ErrorOf([&] { Player->Play(); }),
              QStringLiteral("Unable to play '/music/A/it''s.mp3'.\r\rNo MCI device open"));
    EXPECT_EQ(Player->PlayStartTick, 0u);

    // A device failure without a text of its own.
    Device->OpenFailures[QStringLiteral("/music/x.mp3")] = QString();
    EXPECT_EQ(ErrorOf([&] { Player->OpenFile(0, 0); }),
              QStringLiteral("Unable to open '/music/x.mp3'.\r\rUnknown error code"));
}

TEST_F(Playback, AFileIndexOutsideTheFolderFailsAndLeavesNothingPlaying) {
    Player->OpenFile(0, 0);
    Player->Play();
    EXPECT_EQ(ErrorOf([&] { Player->OpenFile(0, 5); }),
              QStringLiteral("List index out of bounds (5)"));
    EXPECT_EQ(ErrorOf([&] { Player->OpenFile(7, 0); }),
              QStringLiteral("List index out of bounds (0)"));
    EXPECT_FALSE(Player->IsOpen);
    EXPECT_FALSE(Device->DeviceOpen());
}

TEST_F(Playback, WithoutAnOpenFileCommandsFailAndQueriesAreQuiet) {
    const std::function<void()> commands[] = {
        [&] { Player->Stop(); },
        [&] { Player->Seek(1000); },
        [&] { Player->PauseToggle(); },
        [&] { Player->Resume(); },
    };
    for (const auto& command : commands)
        EXPECT_EQ(ErrorOf(command), QStringLiteral("No MCI device open"));
    Player->MediaInfo.Duration = 1000;
    EXPECT_EQ(Player->Position(), 0);
    EXPECT_EQ(Player->PositionPercent(), 0);
    EXPECT_FALSE(Player->IsPaused());
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_FALSE(Player->TrackEnded());
}

TEST_F(Playback, PlayPauseResumeAndStop) {
    Player->OpenFile(0, 0);
    Clock->Now = 70000;
    Player->Play();
    EXPECT_EQ(Player->PlayStartTick, 70000u);
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_FALSE(Player->IsPaused());
    Clock->Advance(3000);
    EXPECT_EQ(Player->Position(), 3000);

    Player->PauseToggle();
    EXPECT_TRUE(Player->IsPaused());
    EXPECT_TRUE(Player->IsPlaying()) << "paused still counts as playing";
    Clock->Advance(1000);
    EXPECT_EQ(Player->Position(), 3000);
    Player->PauseToggle();
    EXPECT_FALSE(Player->IsPaused());
    EXPECT_EQ(Player->PlayStartTick, 70000u) << "resuming isn't a new play command";

    // A device that refuses to resume is played from where it stands.
    Player->PauseToggle();
    Device->RefuseResume = true;
    Player->Resume();
    EXPECT_EQ(Device->Log.mid(Device->Log.size() - 2),
              QStringList({QStringLiteral("Resume"), QStringLiteral("Play")}));
    EXPECT_FALSE(Player->IsPaused());
    EXPECT_EQ(Player->Position(), 3000);

    Clock->Advance(500);
    Player->TrackEnded();
    Player->Stop();
    EXPECT_EQ(Player->Position(), 0);
    EXPECT_FALSE(Player->IsPlaying());
    EXPECT_EQ(Player->PlayStartTick, 0u);
    EXPECT_EQ(Player->LastPosition, -1);
    EXPECT_TRUE(Player->IsOpen) << "the file stays open";
    // Pause on a stopped file does nothing.
    const auto logged = Device->Log.size();
    Player->PauseToggle();
    EXPECT_EQ(Device->Log.size(), logged);
    EXPECT_FALSE(Player->IsPlaying());
}

TEST_F(Playback, SeekGoesOnPlayingOnlyWhenItWasPlaying) {
    struct TCase {
        const char* Name;
        std::function<void()> Arrange;
        bool PlaysAfter;
    };
    const TCase cases[] = {
        {"stopped", [] {}, false},
        {"playing", [&] { Player->Play(); }, true},
        {"paused",
         [&] {
             Player->Play();
             Player->PauseToggle();
         },
         true},
    };
    for (const TCase& c : cases) {
        Player->OpenFile(0, 0);
        c.Arrange();
        Player->Seek(5000);
        EXPECT_EQ(Player->Position(), 5000) << c.Name;
        EXPECT_EQ(Player->IsPlaying(), c.PlaysAfter) << c.Name;
        EXPECT_FALSE(Player->IsPaused()) << c.Name;
        EXPECT_EQ(Player->PlayStartTick != 0, c.PlaysAfter) << c.Name;
    }
}

TEST_F(Playback, TrackEndedNeverWithinFiveSecondsOfPlay) {
    // A 2 s file runs out long before the guard is over.
    OpenAndPlay(2000, 2000);
    EXPECT_EQ(PollUntilEnded(20000), 5100);
    EXPECT_EQ(Player->Position(), 2000);
    // Again after playing it once more from its end: the guard counts from the new play.
    Player->Play();
    EXPECT_EQ(Player->Position(), 0);
    EXPECT_EQ(PollUntilEnded(20000), 5100);
}

TEST_F(Playback, TrackEndedCountsTheGuardAcrossTheTickWrap) {
    Clock->Now = 0xFFFFF000u;
    OpenAndPlay(2000, 2000);
    EXPECT_EQ(PollUntilEnded(20000), 5100);
}

// A position that stands still counts as the end only within a second of the stated duration;
// the device here never runs out by itself: it is stuck where it stands.
TEST_F(Playback, TrackEndedWhenThePositionStandsStillNearTheDuration) {
    struct TCase {
        std::int32_t StandsAt;
        bool Ends;
    };
    const TCase cases[] = {{9001, true}, {9000, false}, {10000, true}, {12000, true}, {0, false}};
    for (const TCase& c : cases) {
        OpenAndPlay(10000, 60000);
        Clock->Advance(6000);
        Device->SetPosition(c.StandsAt);
        Device->SetMode(TMPModes::mpPlaying); // stuck, not paused
        Device->Clock = nullptr;              // ...and no longer moving by itself
        // The first poll only notes the position; the second sees it unmoved.
        EXPECT_FALSE(Player->TrackEnded()) << c.StandsAt;
        EXPECT_EQ(Player->TrackEnded(), c.Ends) << c.StandsAt;
        EXPECT_EQ(Player->LastPosition, c.StandsAt) << c.StandsAt;
        Device->Clock = Clock;
    }
}

TEST_F(Playback, AMovingPositionIsNeverTheEnd) {
    OpenAndPlay(10000, 60000);
    Clock->Advance(9500);
    EXPECT_EQ(PollUntilEnded(3000), -1) << "moves past the duration without standing still";
}

// The stream stops before its stated duration (a VBR file without a frame count): the device
// reaching its end by itself is the end of the track.
TEST_F(Playback, TrackEndedWhenTheDeviceRanOutBeforeTheStatedDuration) {
    Device->RunsOutAt = 200000;
    OpenAndPlay(300000, 300000);
    Clock->Advance(199000);
    EXPECT_FALSE(Player->TrackEnded());
    EXPECT_EQ(PollUntilEnded(5000), 200000);
    EXPECT_EQ(Player->Position(), 200000);

    // Running out early still waits for the guard.
    Device->RunsOutAt = 1000;
    OpenAndPlay(300000, 300000);
    EXPECT_EQ(PollUntilEnded(20000), 5100);
}

TEST_F(Playback, AfterStopTheTrackHasNotEnded) {
    OpenAndPlay(2000, 2000);
    Clock->Advance(8000);
    Player->Stop();
    EXPECT_EQ(Player->Position(), 0);
    EXPECT_EQ(PollUntilEnded(20000), -1);
}

// --- Going on to a queued file

// A file is queued only when the track ends after the five-second guard of its play command.
TEST_F(Playback, QueueNextOnlyWhereTheEndRuleWouldEndTheTrackLater) {
    struct TCase {
        const char* Name;
        std::int32_t Length;
        std::int32_t SeekTo; // -1: none
        bool Play;
        bool Queued;
    };
    const TCase cases[] = {
        {"6 s track", 6000, -1, true, true},
        {"5 s track", 5000, -1, true, false},
        {"seek to 2 s before the end", 60000, 58000, true, false},
        {"seek to 6 s before the end", 60000, 54000, true, true},
        {"not playing", 60000, -1, false, false},
    };
    for (const TCase& c : cases) {
        Device->DefaultLength = c.Length;
        Player->OpenFile(0, 0);
        if (c.Play) Player->Play();
        if (c.SeekTo >= 0) Player->Seek(c.SeekTo);
        EXPECT_EQ(Player->QueueNext(1, 0), c.Queued) << c.Name;
        EXPECT_EQ(Device->QueuedPath, c.Queued ? QStringLiteral("/music/A/it's.mp3") : QString())
            << c.Name;
    }
}

// With a file queued, a position standing near the end is the device going on, not the end;
// a device that stopped there is.
TEST_F(Playback, TrackEndedWaitsForTheDeviceWhileAFileIsQueued) {
    for (const bool queued : {false, true}) {
        OpenAndPlay(6000, 6000);
        if (queued) {
            ASSERT_TRUE(Player->QueueNext(1, 0));
        }
        Clock->Advance(5900);
        EXPECT_FALSE(Player->TrackEnded());
        EXPECT_EQ(Player->TrackEnded(), !queued) << "standing at 5.9 s";
    }
    Player->DropNext();
    Clock->Advance(500);
    EXPECT_TRUE(Player->TrackEnded()) << "ran out: the device stopped";
}

TEST_F(Playback, TakeOverFileMakesTheChangeTheOpenFileOrReportsWhyItCannot) {
    OpenAndPlay(6000, 6000);
    ASSERT_TRUE(Player->QueueNext(1, 0));
    Clock->Advance(6200);
    const TTrackChange change = Player->TakeTrackChange();
    ASSERT_EQ(change.Kind, TTrackChange::Changed);
    Player->MediaInfo.Title = QStringLiteral("old");
    Player->TakeOverFile(1, 0, change);
    EXPECT_TRUE(Player->IsOpen);
    EXPECT_EQ(Player->MediaInfo.FilePath, QStringLiteral("/music/A/it's.mp3"));
    EXPECT_TRUE(Player->MediaInfo.Title.isEmpty());
    EXPECT_EQ(Player->PlayStartTick, Clock->Now) << "started when it was heard";
    EXPECT_TRUE(Player->IsPlaying());
    EXPECT_EQ(Player->Position(), 200);
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), 1);

    Device->OpenFailures[QStringLiteral("/music/A/B/y.wma")] = QStringLiteral("Not audio.");
    ASSERT_TRUE(Player->QueueNext(2, 0));
    Clock->Advance(7000);
    const TTrackChange failed = Player->TakeTrackChange();
    ASSERT_EQ(failed.Kind, TTrackChange::Failed);
    EXPECT_EQ(ErrorOf([&] { Player->TakeOverFile(2, 0, failed); }),
              QStringLiteral("Unable to open '/music/A/B/y.wma'.\r\rNot audio."));
    EXPECT_FALSE(Player->IsOpen);
    EXPECT_FALSE(Device->DeviceOpen());
    EXPECT_EQ(Player->MediaInfo.FilePath, QStringLiteral("/music/A/B/y.wma"));
}

// Stop or a seek at the moment the device went on, before the caller took the change: they act
// on the file the caller knows, and the change is gone.
TEST_F(Playback, StopOrSeekAtTheChangeActOnTheFileShown) {
    for (const bool seek : {false, true}) {
        OpenAndPlay(6000, 6000);
        ASSERT_TRUE(Player->QueueNext(1, 0));
        Clock->Advance(6100);
        if (seek)
            Player->Seek(3000);
        else
            Player->Stop();
        EXPECT_EQ(Device->OpenPath, QStringLiteral("/music/x.mp3")) << seek;
        EXPECT_EQ(Player->Position(), seek ? 3000 : 0);
        EXPECT_EQ(Player->IsPlaying(), seek);
        EXPECT_EQ(Player->TakeTrackChange().Kind, TTrackChange::None);
    }
}

TEST_F(Playback, PositionPercentRoundsHalvesToEvenAndDoesNotOverflow) {
    struct TCase {
        std::int32_t Position, Duration, Percent;
    };
    const TCase cases[] = {
        {0, 0, 0},
        {500, 0, 0},
        {500, -10, 0},
        {1, 200, 0}, // 0.5
        {3, 200, 2}, // 1.5
        {5, 200, 2}, // 2.5
        {7, 200, 4}, // 3.5
        {2, 3, 67},
        {1000, 1000, 100},
        {3000, 1000, 300},
        {30000000, 36000000, 83}, // 8 h 20 min into a 10 h recording
        {25000000, 25000000, 100},
        {2147483647, 2147483647, 100},
    };
    Device->DefaultLength = 2147483647;
    Player->OpenFile(0, 0);
    for (const TCase& c : cases) {
        Device->SetPosition(c.Position);
        Player->MediaInfo.Duration = c.Duration;
        EXPECT_EQ(Player->PositionPercent(), c.Percent) << c.Position << "/" << c.Duration;
    }
}

TEST(FormatTime, MinutesAndSeconds) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00:00"},       {999, "00:00"},      {59999, "00:59"},    {60000, "01:00"},
        {3599999, "59:59"}, {6000000, "100:00"}, {7500000, "125:00"}, {2147483647, "35791:23"},
        {-1, "00:00"},      {-999, "00:00"},     {-60000, "00:00"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(TFormPlayer::FormatTime(ms), QString::fromLatin1(text)) << ms;
}

TEST_F(Playback, ReadMediaInfoFallsBackToThePlayersLength) {
    testsupport::TTempDir dir("velodra-play");
    // No MPEG frame for the readers; the scripted device "plays" it all the same.
    testsupport::WriteFile(dir / "lib/noframes.mp3", std::string(4096, '\0'));
    Player->Library =
        TLibrary(QString::fromStdString(dir / "lib"), {QStringLiteral("/noframes.mp3")});
    Device->DefaultLength = 4321;
    Player->OpenFile(0, 0);
    Player->ReadMediaInfo();
    EXPECT_EQ(Player->MediaInfo.Duration, 4321);

    // Without an open file there is no length to fall back on.
    Device->FailEveryOpen = QStringLiteral("No.");
    EXPECT_THROW(Player->OpenFile(0, 0), EVelodraError);
    Player->ReadMediaInfo();
    EXPECT_EQ(Player->MediaInfo.Duration, 0);
}

// The same operations on real files through GStreamer.
class RealPlayback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new testsupport::TTempDir("velodra-real");
        using testsupport::GenerateTone;
        ASSERT_TRUE(GenerateTone(*Dir / "lib/tagged.mp3", 3.0,
                                 "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 "
                                 "-metadata title=\"Long  Title\" -metadata artist=Someone "
                                 "-metadata album=Record -metadata date=2001"));
        ASSERT_TRUE(GenerateTone(*Dir / "lib/tone.wma", 3.0, "-c:a wmav2 -b:a 128k"));
        // Junk between the tag and the audio holds a false frame header that gives the readers
        // no length; GStreamer skips it and knows the length from the real frames.
        ASSERT_TRUE(GenerateTone(*Dir / "plain.mp3", 3.0,
                                 "-c:a libmp3lame -b:a 128k "
                                 "-id3v2_version 0"));
        std::ifstream in(*Dir / "plain.mp3", std::ios::binary);
        const std::string audio{std::istreambuf_iterator<char>(in), {}};
        const std::string frame =
            std::string("TIT2") + '\0' + '\0' + '\0' + '\6' + '\0' + '\0' + '\0' + "Junk!";
        std::string tag = std::string("ID3") + '\3' + '\0' + '\0' + '\0' + '\0' + '\0' +
                          static_cast<char>(frame.size()) + frame;
        std::string junk = "\xFF\xE0";
        junk.resize(64, '\0');
        testsupport::WriteFile(*Dir / "lib/junk.mp3", tag + junk + audio);
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        TGstDeviceOptions o;
        o.AudioSink = QStringLiteral("fakesink");
        Clock = std::make_shared<TFakeClock>();
        Player = std::make_unique<TFormPlayer>(CreateGstMediaDevice(o), Clock);
        // In the library's order.
        Player->Library =
            TLibrary(QString::fromStdString(Dir->Path.string()),
                     {QStringLiteral("/lib/junk.mp3"), QStringLiteral("/lib/tagged.mp3"),
                      QStringLiteral("/lib/tone.wma")});
    }

    static testsupport::TTempDir* Dir;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TFormPlayer> Player;
};
testsupport::TTempDir* RealPlayback::Dir = nullptr;

TEST_F(RealPlayback, ReadMediaInfoFromTagsAndStream) {
    Player->OpenFile(0, 1);
    Player->ReadMediaInfo();
    const TMediaInfo& m = Player->MediaInfo;
    EXPECT_EQ(m.Title, QStringLiteral("Long Title"));
    EXPECT_EQ(m.Artist, QStringLiteral("Someone"));
    EXPECT_EQ(m.Album, QStringLiteral("Record"));
    EXPECT_EQ(m.Year, QStringLiteral("2001"));
    EXPECT_EQ(m.Duration, 3000) << "whole seconds from the stream";
    EXPECT_EQ(m.SampleRate, 44100);
    EXPECT_NEAR(m.BitRate, 128, 2) << "the average from the frame count";

    Player->OpenFile(0, 2);
    Player->ReadMediaInfo();
    // The header's play duration less its preroll: the encoder's last block runs a little over.
    EXPECT_NEAR(Player->MediaInfo.Duration, 3000, 50);
    EXPECT_NEAR(Player->MediaInfo.BitRate, 128, 2);
}

TEST_F(RealPlayback, ReadMediaInfoTakesThePlayersLengthWhenTheStreamGivesNone) {
    Player->OpenFile(0, 0);
    Player->ReadMediaInfo();
    EXPECT_EQ(Player->MediaInfo.Title, QStringLiteral("Junk!"));
    EXPECT_NEAR(Player->MediaInfo.Duration, 3000, 60) << "from the device, in ms";
    EXPECT_NE(Player->MediaInfo.Duration % 1000, 0) << "not whole seconds from a reader";
}

TEST_F(RealPlayback, PlaysToTheEndWhichTheTrackEndedPollSees) {
    Player->OpenFile(0, 1);
    Player->ReadMediaInfo();
    Player->Play();
    ASSERT_TRUE(WaitFor([&] { return Player->Position() > 100; }, 3s));
    EXPECT_FALSE(Player->TrackEnded()) << "within the guard";
    ASSERT_TRUE(WaitFor([&] { return !Player->IsPlaying(); }, 6s)) << "never stopped at the end";
    Clock->Advance(5001);
    EXPECT_TRUE(Player->TrackEnded());

    Player->Stop();
    EXPECT_EQ(Player->Position(), 0);
    EXPECT_FALSE(Player->TrackEnded());
    Player->Seek(1500);
    EXPECT_NEAR(Player->Position(), 1500, 30);
    EXPECT_FALSE(Player->IsPlaying());
}

TEST_F(RealPlayback, AFileThatIsNotAudioCannotBeOpenedOrPlayed) {
    testsupport::WriteFile(*Dir / "bad/notes.mp3", "just some text\n");
    Player->Library = TLibrary(Player->Library.RootFolder, {QStringLiteral("/bad/notes.mp3")});
    const QString path = QString::fromStdString(*Dir / "bad/notes.mp3");
    const QString error = ErrorOf([&] { Player->OpenFile(0, 0); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Unable to open '") + path + "'.\r\r"))
        << error.toStdString();
    EXPECT_GT(error.size(), path.size() + 20) << "carries GStreamer's reason";
    EXPECT_FALSE(Player->IsOpen);
    EXPECT_EQ(ErrorOf([&] { Player->Play(); }),
              QStringLiteral("Unable to play '") + path + "'.\r\rNo MCI device open");
}

} // namespace
