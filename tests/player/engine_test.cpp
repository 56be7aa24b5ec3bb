// The sound device off the UI thread: the end rule, commands at the moment of a change, what
// comes back for a failure, and a few runs on real files through GStreamer on the engine's own
// thread.
#include "platform/GstMediaDevice.h"
#include "player/PlaybackEngine.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::TFakeClock;
using testsupport::TScriptedMediaDevice;
using testsupport::WaitFor;

namespace {

const QString A = QStringLiteral("/music/a.mp3");
const QString B = QStringLiteral("/music/b.mp3");

// What came back, in order.
struct TAnswers {
    explicit TAnswers(TPlaybackEngine& e) {
        QObject::connect(&e, &TPlaybackEngine::Opened,
                         [this](const TOpenResult& r) { Opened.push_back(r); });
        QObject::connect(&e, &TPlaybackEngine::PlayFailed,
                         [this](TTicket, const QString& error) { Failures << error; });
        QObject::connect(&e, &TPlaybackEngine::Ended, [this](TTicket t) { Ended.push_back(t); });
        QObject::connect(&e, &TPlaybackEngine::Changed,
                         [this](const TChangeResult& r) { Changes.push_back(r); });
    }
    std::vector<TOpenResult> Opened;
    QStringList Failures;
    std::vector<TTicket> Ended;
    std::vector<TChangeResult> Changes;
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Clock = std::make_shared<TFakeClock>();
        Device->Clock = Clock;
        TPlaybackEngine::TOptions o;
        o.OwnThread = false;
        E = std::make_unique<TPlaybackEngine>(std::move(device), Clock, o);
        Seen = std::make_unique<TAnswers>(*E);
    }
    void Settle() {
        for (int idle = 0, i = 0; i < 1000 && idle < 2; ++i) {
            QCoreApplication::processEvents();
            idle = E->Busy() ? 0 : idle + 1;
        }
    }
    void OpenAndPlay(std::int32_t length, TTicket next = 0) {
        Device->DefaultLength = length;
        E->Open(1, A);
        E->Play(1, 0, next, next ? B : QString());
        Settle();
        PlayAt = Clock->Now;
    }
    // 100 ms steps, the worker looking after each, until it says the track ended: the ms after
    // the play at which it did, or -1.
    int PollUntilEnded(std::uint32_t limitMs) {
        while (Clock->Now - PlayAt < limitMs) {
            Clock->Advance(100);
            E->PollNow();
            Settle();
            if (!Seen->Ended.empty()) return static_cast<int>(Clock->Now - PlayAt);
        }
        return -1;
    }

    TScriptedMediaDevice* Device = nullptr;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TPlaybackEngine> E;
    std::unique_ptr<TAnswers> Seen;
    std::uint32_t PlayAt = 0;
};

// The end rule: a device stopped at its end has ended, however short the track (across the tick
// count's wrap too); a device that runs out before the stated end; a device that stands still
// within a second of the end (not within five seconds of the play); and none after a stop.
TEST_F(Engine, TheEndOfATrack) {
    struct TCase {
        const char* Name;
        std::uint32_t ClockAt;
        std::int32_t Length, RunsOutAt;
        int StandsAt; // -1: it moves on by itself
        bool Stop;
        int EndsAt; // ms after the play, -1: not within 12 s of it
    };
    const TCase cases[] = {
        {"a 2 s file ends at its end", 1000, 2000, -1, -1, false, 2000},
        {"across the tick wrap", 0xFFFFF000u, 2000, -1, -1, false, 2000},
        {"runs out before its length", 1000, 300000, 8000, -1, false, 8000},
        {"stands still within a second", 1000, 10000, -1, 9001, false, 6200},
        {"stands still at its length", 1000, 10000, -1, 10000, false, 6200},
        {"stands still further back", 1000, 10000, -1, 9000, false, -1},
        {"stopped", 1000, 2000, -1, -1, true, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp();
        Clock->Now = c.ClockAt;
        Device->RunsOutAt = c.RunsOutAt;
        OpenAndPlay(c.Length);
        if (c.Stop) {
            Clock->Advance(3000);
            E->Stop(1);
            Settle();
            EXPECT_EQ(E->Position(), 0);
        }
        if (c.StandsAt >= 0) {
            Clock->Advance(6000);
            Device->SetPosition(c.StandsAt);
            Device->SetMode(TMPModes::mpPlaying); // stuck, not paused
            Device->Clock = nullptr;              // ...and no longer moving by itself
        }
        EXPECT_EQ(PollUntilEnded(12000), c.EndsAt);
    }
}

// Stop or Seek at the very moment the device went on with the queued file, before the change
// was reported: they act on the file the caller knows. A command after the report, still for
// the file that ended, opens that one again.
TEST_F(Engine, CommandsAtTheChangeActOnTheFileTheCallerKnows) {
    for (const bool seek : {false, true}) {
        for (const bool reported : {false, true}) {
            SCOPED_TRACE(std::string(seek ? "seek" : "stop") + (reported ? ", reported" : ""));
            SetUp();
            OpenAndPlay(6000, 2);
            Clock->Advance(6100); // the device is on b.mp3 now
            if (reported) {
                E->PollNow();
                Settle();
                ASSERT_EQ(Seen->Changes.size(), 1u);
            }
            if (seek)
                E->Seek(1, 3000, true, false);
            else
                E->Stop(1);
            Settle();
            EXPECT_EQ(Device->OpenPath, A);
            EXPECT_EQ(E->Position(), seek ? 3000 : 0);
            EXPECT_EQ(E->Mode(), seek ? TMPModes::mpPlaying : TMPModes::mpStopped);
            E->PollNow();
            Settle();
            EXPECT_EQ(Seen->Changes.size(), reported ? 1u : 0u) << "no change reported later";
        }
    }
}

TEST_F(Engine, TheChangeToTheQueuedFileAndAQueuedFileThatFails) {
    OpenAndPlay(3000, 2);
    Clock->Advance(3100);
    E->PollNow();
    Settle();
    ASSERT_EQ(Seen->Changes.size(), 1u);
    EXPECT_EQ(Seen->Changes[0].From, 1u);
    EXPECT_EQ(Seen->Changes[0].Ticket, 2u);
    EXPECT_FALSE(Seen->Changes[0].Failed);
    EXPECT_EQ(Seen->Changes[0].Info.FilePath, B);
    EXPECT_EQ(Seen->Changes[0].Info.Duration, 3000) << "the device's length, where none is stated";

    SetUp();
    Device->OpenFailures[B] = QStringLiteral("not audio");
    OpenAndPlay(3000, 2);
    Clock->Advance(3100);
    E->PollNow();
    Settle();
    ASSERT_EQ(Seen->Changes.size(), 1u);
    EXPECT_TRUE(Seen->Changes[0].Failed);
    EXPECT_EQ(Seen->Changes[0].Error, QStringLiteral("not audio"));
    EXPECT_TRUE(Seen->Ended.empty()) << "the failure is the news, not an end";
}

TEST_F(Engine, FailuresComeBackWithTheirReason) {
    Device->FailEveryOpen = QStringLiteral("No.");
    E->Open(1, A);
    E->Play(1, 0, 0, {});
    Settle();
    ASSERT_EQ(Seen->Opened.size(), 1u);
    EXPECT_EQ(Seen->Opened[0].Error, QStringLiteral("No."));
    EXPECT_EQ(Seen->Failures, QStringList{QStringLiteral("No MCI device open")});
}

// A device stuck in the kernel: the engine's end gives up on it within its bound, and the
// worker that comes back later touches nothing of the engine.
TEST(EngineEnd, AStuckDeviceNeitherHoldsTheEndNorOutlivesWhatItRefersTo) {
    auto stage = std::make_shared<std::atomic<int>>(0); // 1: stuck in Open, 2: let go
    auto device = std::make_unique<TScriptedMediaDevice>();
    device->OnOpen = [stage] {
        for (*stage = 1; *stage != 2;)
            std::this_thread::sleep_for(1ms);
    };
    auto engine = std::make_unique<TPlaybackEngine>(
        std::move(device), std::make_shared<TFakeClock>(), TPlaybackEngine::TOptions{});
    int opened = 0;
    QObject::connect(engine.get(), &TPlaybackEngine::Opened, [&] { ++opened; });
    engine->Open(1, A);
    ASSERT_TRUE(WaitFor([&] { return *stage == 1; }, 3s));
    const auto start = std::chrono::steady_clock::now();
    engine.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    *stage = 2; // it comes back, publishes and answers: nobody is left to hear
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, 0);
}

// The same on real files through GStreamer, the device on the engine's own thread.
class RealEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new testsupport::TTempDir("velodra-real");
        using testsupport::GenerateTone;
        ASSERT_TRUE(GenerateTone(*Dir / "tagged.mp3", 3.0,
                                 "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 "
                                 "-metadata title=\"Long  Title\" -metadata artist=Someone "
                                 "-metadata album=Record -metadata date=2001"));
        ASSERT_TRUE(GenerateTone(*Dir / "tone.wma", 3.0, "-c:a wmav2 -b:a 128k"));
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
        testsupport::WriteFile(*Dir / "junk.mp3", tag + junk + audio);
        testsupport::WriteFile(*Dir / "notes.mp3", "just some text\n");
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        TGstDeviceOptions o;
        o.AudioSink = QStringLiteral("fakesink");
        Clock = std::make_shared<TFakeClock>();
        E = std::make_unique<TPlaybackEngine>(CreateGstMediaDevice(o), Clock,
                                              TPlaybackEngine::TOptions{});
        Seen = std::make_unique<TAnswers>(*E);
    }
    static QString Path(const char* name) { return QString::fromStdString(*Dir / name); }
    TOpenResult Open(TTicket t, const char* name) {
        E->Open(t, Path(name));
        EXPECT_TRUE(WaitFor([&] { return Seen->Opened.size() >= t; }, 10s));
        return Seen->Opened.empty() ? TOpenResult{} : Seen->Opened.back();
    }

    static testsupport::TTempDir* Dir;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TPlaybackEngine> E;
    std::unique_ptr<TAnswers> Seen;
};
testsupport::TTempDir* RealEngine::Dir = nullptr;

TEST_F(RealEngine, TheInformationOfEachOpenFile) {
    const TMediaInfo tagged = Open(1, "tagged.mp3").Info;
    EXPECT_EQ(tagged.Title, QStringLiteral("Long Title"));
    EXPECT_EQ(tagged.Artist, QStringLiteral("Someone"));
    EXPECT_EQ(tagged.Year, QStringLiteral("2001"));
    EXPECT_EQ(tagged.Duration, 3000) << "whole seconds from the stream";
    EXPECT_NEAR(tagged.BitRate, 128, 2);
    const TMediaInfo wma = Open(2, "tone.wma").Info;
    EXPECT_GT(wma.Duration, 2900);
    EXPECT_NEAR(wma.BitRate, 128, 2);
    const TMediaInfo junk = Open(3, "junk.mp3").Info;
    EXPECT_EQ(junk.Title, QStringLiteral("Junk!"));
    EXPECT_NEAR(junk.Duration, 3000, 60) << "from the device, in ms";
    EXPECT_NE(junk.Duration % 1000, 0) << "not whole seconds from a reader";
}

TEST_F(RealEngine, PlaysToTheEndWhichTheWorkerReports) {
    ASSERT_TRUE(Open(1, "tagged.mp3").Error.isEmpty());
    E->Play(1, 0, 0, {});
    ASSERT_TRUE(WaitFor([&] { return E->Position() > 100; }, 3s));
    ASSERT_TRUE(WaitFor([&] { return E->Mode() == TMPModes::mpStopped; }, 8s))
        << "never stopped at the end";
    // A 3 s track, its clock standing: the worker looks again by itself and tells the end.
    EXPECT_TRUE(WaitFor([&] { return !Seen->Ended.empty(); }, 3s));
    E->Seek(1, 1500, false, false);
    EXPECT_TRUE(WaitFor([&] { return !E->Busy(); }, 3s));
    EXPECT_NEAR(E->Position(), 1500, 30);
}

TEST_F(RealEngine, AFileThatIsNotAudioComesBackWithGStreamersReason) {
    const TOpenResult r = Open(1, "notes.mp3");
    EXPECT_GT(r.Error.size(), 10) << qPrintable(r.Error);
    E->Play(1, 0, 0, {});
    ASSERT_TRUE(WaitFor([&] { return !Seen->Failures.isEmpty(); }, 3s));
    EXPECT_EQ(Seen->Failures[0], QStringLiteral("No MCI device open"));
}

} // namespace
