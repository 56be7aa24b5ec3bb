// The GStreamer device on tones generated at test time, played into a silent real-time sink.
#include "platform/FileName.h"
#include "platform/GstMediaDevice.h"
#include "support/TestAudio.h"
#include "support/TestPulse.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <stop_token>
#include <thread>
#include <tuple>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace std::chrono_literals;
using testsupport::GenerateTone;
using testsupport::TTempDir;

namespace {

using testsupport::WaitFor;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TTone {
    const char* Name;
    double Seconds;
    const char* Args;
};

// Tones of 2-7 s in the formats the player meets.
const TTone Tones[] = {
    {"cbr.mp3", 3.0, "-c:a libmp3lame -b:a 128k"},
    {"vbr.mp3", 4.0, "-c:a libmp3lame -q:a 4"},
    {"mono22k.mp3", 2.5, "-c:a libmp3lame -b:a 32k -ar 22050 -ac 1"},
    {"noxing.mp3", 3.0, "-c:a libmp3lame -q:a 2 -write_xing 0"},
    {"long.mp3", 7.0, "-c:a libmp3lame -b:a 128k"},
    {"tone.wma", 3.0, "-c:a wmav2 -b:a 128k"},
    {"short.mp3", 2.0, "-c:a libmp3lame -b:a 128k"},
};

class GstDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new TTempDir("velodra-gst");
        for (const TTone& t : Tones) {
            ASSERT_TRUE(GenerateTone(*Dir / t.Name, t.Seconds, t.Args)) << t.Name;
            Seconds[t.Name] = t.Seconds;
        }
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }

    static QString Path(const std::string& name) { return QString::fromStdString(*Dir / name); }

    std::unique_ptr<TMediaDevice> NewDevice() {
        TGstDeviceOptions o;
        o.AudioSink = QStringLiteral("fakesink");
        return CreateGstMediaDevice(o);
    }

    // Plays until the position has reached ms; fails the test when it doesn't get there.
    static void PlayTo(TMediaDevice& d, std::int32_t ms) {
        d.Play();
        ASSERT_TRUE(WaitFor([&] { return d.Position() >= ms; }, 5s)) << "stuck at " << d.Position();
    }

    static TTempDir* Dir;
    static std::map<std::string, double> Seconds;
};
TTempDir* GstDevice::Dir = nullptr;
std::map<std::string, double> GstDevice::Seconds;

// One MPEG frame of 1152 samples at 22.05 kHz is 52 ms; 44.1 kHz frames are half of that.
class GstDeviceLength : public GstDevice, public ::testing::WithParamInterface<const char*> {};

TEST_P(GstDeviceLength, OpensStoppedAtZeroWithTheEncodedLength) {
    auto d = NewDevice();
    d->Open(Path(GetParam()));
    EXPECT_TRUE(d->DeviceOpen());
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
    EXPECT_EQ(d->Position(), 0);
    EXPECT_FALSE(d->AtEnd());
    const double expected = Seconds[GetParam()] * 1000.0;
    // The encoder adds its delay and padding: up to a frame (and a half for WMA blocks).
    EXPECT_NEAR(d->Length(), expected, 60.0) << GetParam();
}
INSTANTIATE_TEST_SUITE_P(Formats, GstDeviceLength,
                         ::testing::Values("cbr.mp3", "vbr.mp3", "mono22k.mp3", "long.mp3",
                                           "tone.wma"));

class GstDeviceFormats : public GstDevice, public ::testing::WithParamInterface<const char*> {};

TEST_P(GstDeviceFormats, PlayPauseResumeStop) {
    auto d = NewDevice();
    d->Open(Path(GetParam()));
    PlayTo(*d, 300);
    EXPECT_EQ(d->Mode(), TMPModes::mpPlaying);

    d->Pause();
    EXPECT_EQ(d->Mode(), TMPModes::mpPaused);
    const std::int32_t held = d->Position();
    std::this_thread::sleep_for(250ms);
    EXPECT_NEAR(d->Position(), held, 5) << "position moved while paused";
    EXPECT_EQ(d->Mode(), TMPModes::mpPaused);

    EXPECT_TRUE(d->Resume());
    EXPECT_EQ(d->Mode(), TMPModes::mpPlaying);
    EXPECT_TRUE(WaitFor([&] { return d->Position() >= held + 200; }, 3s));
    // It went on from where it was paused, not from the start.
    EXPECT_LT(d->Position(), held + 1500);

    d->Stop();
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
    const std::int32_t stopped = d->Position();
    EXPECT_GT(stopped, held);
    std::this_thread::sleep_for(200ms);
    EXPECT_NEAR(d->Position(), stopped, 5);
    EXPECT_FALSE(d->Resume()) << "a stopped device has nothing to resume";
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);

    // Play goes on from the current position.
    d->Play();
    EXPECT_TRUE(WaitFor([&] { return d->Position() > stopped + 100; }, 3s));
    EXPECT_LT(d->Position(), stopped + 1500);
}

TEST_P(GstDeviceFormats, SeekLeavesTheDeviceStoppedAtTheTarget) {
    auto d = NewDevice();
    d->Open(Path(GetParam()));
    struct TCase {
        const char* Before;
        std::function<void()> Arrange;
    };
    const TCase cases[] = {
        {"stopped", [] {}},
        {"playing", [&] { PlayTo(*d, 200); }},
        {"paused",
         [&] {
             PlayTo(*d, 200);
             d->Pause();
         }},
    };
    std::int32_t target = 1700;
    for (const TCase& c : cases) {
        c.Arrange();
        d->Seek(target);
        EXPECT_EQ(d->Mode(), TMPModes::mpStopped) << c.Before;
        EXPECT_NEAR(d->Position(), target, 30) << c.Before;
        std::this_thread::sleep_for(150ms);
        EXPECT_NEAR(d->Position(), target, 30) << c.Before << ": moved after the seek";
        // Playing after the seek starts at the target.
        d->Play();
        EXPECT_TRUE(WaitFor([&] { return d->Position() > target + 50; }, 3s)) << c.Before;
        EXPECT_LT(d->Position(), target + 1000) << c.Before;
        d->Stop();
        target -= 600;
    }
}

TEST_P(GstDeviceFormats, PlaysToItsEndAndStopsThereThenPlayStartsAgain) {
    auto d = NewDevice();
    d->Open(Path(GetParam()));
    const std::int32_t length = d->Length();
    d->Seek(length - 400);
    d->Play();
    ASSERT_TRUE(WaitFor([&] { return d->AtEnd(); }, 5s));
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
    EXPECT_EQ(d->Position(), d->Length());
    EXPECT_GE(d->Position(), length - 30);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(d->Position(), d->Length()) << "stays at its end";

    d->Play();
    EXPECT_FALSE(d->AtEnd());
    EXPECT_EQ(d->Mode(), TMPModes::mpPlaying);
    EXPECT_TRUE(WaitFor([&] { return d->Position() > 50; }, 3s));
    EXPECT_LT(d->Position(), 1000) << "restarted at 0";
}
INSTANTIATE_TEST_SUITE_P(Formats, GstDeviceFormats,
                         ::testing::Values("cbr.mp3", "vbr.mp3", "noxing.mp3", "tone.wma"));

TEST_F(GstDevice, ASeekToTheEndOrBeyondMakesTheNextPlayStartAtZero) {
    auto d = NewDevice();
    d->Open(Path("short.mp3"));
    for (std::int32_t target : {d->Length(), d->Length() + 5000}) {
        d->Seek(target);
        EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
        EXPECT_EQ(d->Position(), d->Length());
        d->Play();
        EXPECT_TRUE(WaitFor([&] { return d->Position() > 50; }, 3s));
        EXPECT_LT(d->Position(), 1000);
        d->Stop();
    }
}

TEST_F(GstDevice, OpeningAnotherFileReleasesThePreviousOne) {
    auto d = NewDevice();
    d->Open(Path("long.mp3"));
    PlayTo(*d, 200);
    d->Open(Path("short.mp3"));
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
    EXPECT_EQ(d->Position(), 0);
    EXPECT_NEAR(d->Length(), 2000, 60);
    d->Close();
    EXPECT_FALSE(d->DeviceOpen());
    EXPECT_EQ(d->Mode(), TMPModes::mpNotReady);
}

// Not a silent end where nothing could be read: the play fails with the reason.
TEST_F(GstDevice, APlayFromWithinAFileGoneSinceItsOpenFails) {
    std::filesystem::copy_file(*Dir / "long.mp3", *Dir / "gone.mp3");
    auto d = NewDevice();
    d->Open(Path("gone.mp3"));
    std::filesystem::remove(*Dir / "gone.mp3");
    d->Seek(3000);
    EXPECT_THROW(d->Play(), EMediaDeviceError);
    EXPECT_NE(d->Mode(), TMPModes::mpPlaying);
}

TEST_F(GstDevice, CommandsWithoutAFileSayNoDeviceIsOpen) {
    auto d = NewDevice();
    const std::function<void()> commands[] = {
        [&] { d->Play(); }, [&] { d->Pause(); },   [&] { (void)d->Resume(); },
        [&] { d->Stop(); }, [&] { d->Seek(100); },
    };
    for (const auto& command : commands) {
        try {
            command();
            ADD_FAILURE() << "no error without an open file";
        } catch (const EMediaDeviceError& e) {
            EXPECT_EQ(e.Message, QStringLiteral("No MCI device open"));
        }
    }
    EXPECT_EQ(d->Mode(), TMPModes::mpNotReady);
    EXPECT_EQ(d->Position(), 0);
    EXPECT_EQ(d->Length(), 0);
    EXPECT_FALSE(d->AtEnd());
}

// Files that can't be played fail to open with GStreamer's own reason, quickly; the folder
// itself (the empty name) is no file at all.
TEST_F(GstDevice, BadFilesFailToOpenWithAReason) {
    const std::string folder = *Dir / "bad";
    std::filesystem::create_directories(folder);
    testsupport::WriteFile(folder + "/zero.mp3", "");
    testsupport::WriteFile(folder + "/text.mp3", std::string(2000, 'x') + "\nnot audio at all\n");
    ASSERT_TRUE(GenerateTone(folder + "/gone.mp3", 2.0, "-c:a libmp3lame"));
    std::filesystem::remove(folder + "/gone.mp3");
    // A picture with an audio file's name: it has a stream, but no sound.
    const std::string picture = folder + "/picture.mp3";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=duration=1 "
                           "-frames:v 1 -f image2 \"" +
                           picture + "\"")
                              .c_str()),
              0);
    const char* names[] = {"zero.mp3", "text.mp3", "gone.mp3", "picture.mp3", ""};
    auto d = NewDevice();
    for (const char* name : names) {
        const auto start = std::chrono::steady_clock::now();
        try {
            d->Open(QString::fromStdString(folder + "/" + name));
            ADD_FAILURE() << name << " opened";
        } catch (const EMediaDeviceError& e) {
            EXPECT_FALSE(e.Message.isEmpty()) << name;
            EXPECT_NE(e.Message, QStringLiteral("Unknown error code")) << name;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << name;
        EXPECT_FALSE(d->DeviceOpen()) << name;
        EXPECT_THROW(d->Play(), EMediaDeviceError) << name;
    }
}

// Damaged audio either fails to open or plays what can be decoded and then stops at its end.
TEST_F(GstDevice, DamagedFilesPlayWhatCanBeDecoded) {
    const std::string folder = *Dir / "damaged";
    std::filesystem::create_directories(folder);
    const std::string mp3 = ReadBytes(*Dir / "cbr.mp3");
    const std::string wma = ReadBytes(*Dir / "tone.wma");
    ASSERT_GT(mp3.size(), 10000u);
    ASSERT_GT(wma.size(), 10000u);
    testsupport::WriteFile(folder + "/truncated.mp3", mp3.substr(0, mp3.size() / 2));
    std::string garbled = wma;
    for (std::size_t i = 6000; i < garbled.size(); i += 7)
        garbled[i] = static_cast<char>(i * 31);
    testsupport::WriteFile(folder + "/garbled.wma", garbled);
    testsupport::WriteFile(folder + "/cut.wma", wma.substr(0, wma.size() / 3));

    const char* names[] = {"truncated.mp3", "garbled.wma", "cut.wma"};
    for (const char* name : names) {
        auto d = NewDevice();
        try {
            d->Open(QString::fromStdString(folder + "/" + name));
        } catch (const EMediaDeviceError& e) {
            EXPECT_FALSE(e.Message.isEmpty()) << name;
            continue;
        }
        d->Play();
        EXPECT_TRUE(WaitFor([&] { return d->AtEnd(); }, 6s)) << name << " never ended";
        EXPECT_EQ(d->Mode(), TMPModes::mpStopped) << name;
        // It can be played again after that.
        d->Play();
        EXPECT_FALSE(d->AtEnd()) << name;
        d->Stop();
    }
}

TEST_F(GstDevice, NamesThatAreNotUtf8Open) {
    // A byte that is not UTF-8 travels as U+DC80 + byte and must reach the file system unchanged.
    const std::string raw = *Dir / "caf\xe9.mp3";
    std::filesystem::copy_file(*Dir / "short.mp3", raw);
    const QString path = DecodeFileName(raw);
    ASSERT_TRUE(path.contains(QChar(0xDCE9)));
    auto d = NewDevice();
    EXPECT_NO_THROW(d->Open(path));
    EXPECT_TRUE(d->DeviceOpen());
}

// Tests and tools choose the output through the environment; a missing one is named.
TEST_F(GstDevice, TheAudioOutputComesFromTheEnvironment) {
    ASSERT_EQ(setenv("VELODRA_AUDIO_SINK", "nosuchsink", 1), 0);
    auto d = CreateGstMediaDevice();
    unsetenv("VELODRA_AUDIO_SINK");
    try {
        d->Open(Path("short.mp3"));
        ADD_FAILURE() << "opened without an audio output";
    } catch (const EMediaDeviceError& e) {
        EXPECT_TRUE(e.Message.contains(QStringLiteral("nosuchsink"))) << e.Message.toStdString();
    }
    EXPECT_FALSE(d->DeviceOpen());
}

// --- Going on to a queued file

// A measured figure in the test report (--gtest_output=xml), under prefix + name.
void Report(const std::string& prefix, std::string name, double value) {
    std::replace_if(
        name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
    ::testing::Test::RecordProperty(prefix + name, static_cast<int>(value));
}

// Polls as the main window's timer does until a change is reported.
TTrackChange WaitForChange(TMediaDevice& d, std::chrono::milliseconds limit) {
    TTrackChange c;
    WaitFor([&] { return (c = d.TakeTrackChange()).Kind != TTrackChange::None; }, limit);
    return c;
}

// Files made by ffmpeg (its MP3s state delay and padding under its own name, its WMA decodes
// with a warm-up frame first); one starts 40 ms late.
struct TQueued {
    const char* Name;
    double Seconds;
    int Hz;
    const char* Args;
    int LateMs;
};
const TQueued QueuedTones[] = {
    {"a.mp3", 2.0, 440, "-c:a libmp3lame -b:a 192k", 0},
    {"b.mp3", 3.0, 880, "-c:a libmp3lame -b:a 192k", 0},
    {"c.mp3", 1.5, 440, "-c:a libmp3lame -b:a 192k", 0},
    {"gapped.mp3", 2.0, 880, "-af adelay=40:all=1 -c:a libmp3lame -b:a 192k", 40},
    {"a.wma", 2.0, 440, "-c:a wmav2 -b:a 128k", 0},
    {"b.wma", 3.0, 880, "-c:a wmav2 -b:a 128k", 0},
    {"rg.mp3", 2.5, 440,
     "-c:a libmp3lame -metadata REPLAYGAIN_TRACK_GAIN=\"-6.00 dB\" "
     "-metadata REPLAYGAIN_ALBUM_GAIN=\"-10.00 dB\"",
     0},
    {"rgtrack.mp3", 2.5, 440, "-c:a libmp3lame -metadata REPLAYGAIN_TRACK_GAIN=\"-6.00 dB\"", 0},
};

double QueuedMs(const std::string& name) {
    for (const TQueued& t : QueuedTones)
        if (name == t.Name) return t.Seconds * 1000 + t.LateMs;
    return -1;
}

class GstDeviceQueue : public GstDevice {
protected:
    static void SetUpTestSuite() {
        GstDevice::SetUpTestSuite();
        for (const TQueued& t : QueuedTones) {
            ASSERT_TRUE(GenerateTone(*Dir / t.Name, t.Seconds, t.Args, 44100, 2, t.Hz));
        }
        testsupport::WriteFile(*Dir / "noise.mp3", std::string(3000, '\x5a') + "not audio");
        // FLAC garbled from 70% on: its decoder gives up there, at 2.1 s.
        const std::string flac = *Dir / "garbled.flac";
        ASSERT_TRUE(GenerateTone(flac, 3.0, "-c:a flac"));
        std::string bytes = ReadBytes(flac);
        for (std::size_t i = bytes.size() * 7 / 10; i < bytes.size(); i += 5)
            bytes[i] = static_cast<char>(i * 31);
        testsupport::WriteFile(flac, bytes);
    }
};

// From 8 s on opens the write end of each named pipe now and then, so that a reader stuck in
// open() gets free and the test fails instead of hanging.
std::jthread RescueReaders(std::vector<std::string> pipes) {
    return std::jthread([pipes](std::stop_token stop) {
        for (int tick = 0; !stop.stop_requested(); ++tick, std::this_thread::sleep_for(50ms))
            for (const std::string& p : pipes)
                if (const int fd = tick < 160 ? -1 : open(p.c_str(), O_WRONLY | O_NONBLOCK);
                    fd >= 0)
                    close(fd);
    });
}

// A named pipe where a file was is refused at once: opened, queued, or put in place of a file
// already queued (the track then plays out, and the change fails with the reason).
TEST_F(GstDeviceQueue, ANamedPipeIsRefusedAndNeverHangsTheDevice) {
    const std::string pipe = *Dir / "pipe.mp3", swapped = *Dir / "swapped.mp3";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::copy_file(*Dir / "b.mp3", swapped);
    const std::jthread rescue = RescueReaders({pipe, swapped});
    auto d = NewDevice();
    try {
        d->Open(Path("pipe.mp3"));
        ADD_FAILURE() << "a pipe opened";
    } catch (const EMediaDeviceError& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Not a regular file."));
    }
    d->Open(Path("a.mp3"));
    EXPECT_FALSE(d->QueueNext(Path("pipe.mp3")));
    ASSERT_TRUE(d->QueueNext(Path("swapped.mp3")));
    std::filesystem::remove(swapped);
    ASSERT_EQ(mkfifo(swapped.c_str(), 0600), 0);
    d->Play();
    const TTrackChange c = WaitForChange(*d, 5s);
    EXPECT_EQ(c.Kind, TTrackChange::Failed);
    EXPECT_EQ(c.Path, Path("swapped.mp3"));
    EXPECT_EQ(c.Error, QStringLiteral("Not a regular file."));
    EXPECT_TRUE(d->AtEnd());
}

// A decode error of the playing file, read only after the queued file was handed over (nobody
// asked meanwhile), is the playing file's: it ends there, and the queued file is not failed.
TEST_F(GstDeviceQueue, AnErrorOfThePlayingFileIsNotChargedToTheQueuedOne) {
    auto d = NewDevice();
    d->Open(Path("garbled.flac"));
    ASSERT_TRUE(d->QueueNext(Path("c.mp3")));
    d->Play();
    const TTrackChange c = WaitForChange(*d, 3s);
    EXPECT_NE(c.Kind, TTrackChange::Failed) << c.Error.toStdString();
    EXPECT_TRUE(d->AtEnd());
    EXPECT_NEAR(d->Length(), 3000, 100) << "not the playing file any more";
}

// A file that can't be played, queued: the track plays to its end, then the failure is
// reported with GStreamer's reason, and the device is usable again.
TEST_F(GstDeviceQueue, AQueuedFileThatCannotPlayIsReportedOnceTheTrackHasEnded) {
    for (const char* bad : {"noise.mp3", "missing.mp3"}) {
        auto d = NewDevice();
        d->Open(Path("a.mp3"));
        const std::int32_t length = d->Length();
        ASSERT_TRUE(d->QueueNext(Path(bad)));
        d->Play();
        const TTrackChange c = WaitForChange(*d, 5s);
        ASSERT_EQ(c.Kind, TTrackChange::Failed) << bad;
        EXPECT_EQ(c.Path, Path(bad));
        EXPECT_FALSE(c.Error.isEmpty()) << bad;
        EXPECT_TRUE(d->AtEnd()) << bad;
        EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
        EXPECT_GE(d->Position(), length - 100) << bad << ": the track was cut";
        EXPECT_EQ(d->Length(), d->Position());
        // Still the old file, and it plays again from the start.
        d->Play();
        EXPECT_TRUE(WaitFor([&] { return d->Position() > 100; }, 3s)) << bad;
        EXPECT_LT(d->Position(), 1000);
        EXPECT_EQ(d->TakeTrackChange().Kind, TTrackChange::None);
        d->Open(Path("b.mp3"));
        EXPECT_NEAR(d->Length(), QueuedMs("b.mp3"), 30);
    }
}

// Open, Stop, Seek and DropNext early in a track (long enough not to be read out at once): it
// then ends by itself, with no change.
TEST_F(GstDeviceQueue, ManualCommandsDropTheQueuedFile) {
    struct TCase {
        const char* Command;
        std::function<void(TMediaDevice&)> Run;
    };
    const TCase cases[] = {
        {"DropNext", [](TMediaDevice& d) { EXPECT_TRUE(d.DropNext()); }},
        {"Stop",
         [](TMediaDevice& d) {
             d.Stop();
             d.Play();
         }},
        {"Seek",
         [](TMediaDevice& d) {
             d.Seek(d.Length() - 500);
             d.Play();
         }},
        {"Open",
         [&](TMediaDevice& d) {
             d.Open(Path("c.mp3"));
             d.Seek(d.Length() - 500);
             d.Play();
         }},
    };
    for (const TCase& c : cases) {
        auto d = NewDevice();
        EXPECT_FALSE(d->QueueNext(Path("a.mp3"))) << "nothing is open yet";
        d->Open(Path("b.mp3"));
        ASSERT_TRUE(d->QueueNext(Path("a.mp3")));
        d->Play();
        c.Run(*d);
        EXPECT_TRUE(WaitFor([&] { return d->AtEnd(); }, 5s)) << c.Command;
        EXPECT_EQ(d->TakeTrackChange().Kind, TTrackChange::None) << c.Command;
    }
}

// The same on a sound server, where the queued file is taken over about a second before the
// end: a Stop or Seek after that still leaves a stopped device with no stream, holding the file
// that was last heard, and the change is gone.
class GstDeviceSound : public GstDeviceQueue {
protected:
    // A null sink that nobody listens to runs in large chunks, and its streams' clocks in
    // steps; the recording keeps it running as a sound card does, and hears what is played.
    static void SetUpTestSuite() {
        GstDeviceQueue::SetUpTestSuite();
        Pulse = new testsupport::TPulseServer;
        if (Pulse->Ok()) Rec = new testsupport::TMonitorRecorder;
    }
    static void TearDownTestSuite() {
        delete Rec;
        Rec = nullptr;
        delete Pulse;
        Pulse = nullptr;
        GstDeviceQueue::TearDownTestSuite();
    }
    void SetUp() override { ASSERT_TRUE(Pulse->Ok()) << "no private PulseAudio server"; }

    static std::unique_ptr<TMediaDevice> NewSoundDevice() {
        TGstDeviceOptions o;
        o.AudioSink = QStringLiteral("pulsesink");
        return CreateGstMediaDevice(o);
    }
    static std::size_t Streams() { return testsupport::TPulseServer::SinkInputs().size(); }

    static testsupport::TPulseServer* Pulse;
    static testsupport::TMonitorRecorder* Rec;
};
testsupport::TPulseServer* GstDeviceSound::Pulse = nullptr;
testsupport::TMonitorRecorder* GstDeviceSound::Rec = nullptr;

TEST_F(GstDeviceSound, StopOrSeekDuringAChangeLeavesAStoppedDeviceWithoutAStream) {
    struct TCase {
        const char* Name;
        std::int32_t AfterEndMs; // when the command comes, from the end of the first track
        bool Seek;
    };
    const TCase cases[] = {
        {"stop before the next is heard", -600, false},
        {"seek before the next is heard", -600, true},
        {"stop once the next is heard", 400, false},
    };
    for (const TCase& c : cases) {
        auto d = NewSoundDevice();
        d->Open(Path("a.mp3"));
        const std::int32_t length = d->Length();
        ASSERT_TRUE(d->QueueNext(Path("b.mp3")));
        d->Play();
        const auto end = testsupport::TSteady::now() + std::chrono::milliseconds(length);
        std::optional<TTrackChange> change;
        while (testsupport::TSteady::now() < end + std::chrono::milliseconds(c.AfterEndMs)) {
            std::this_thread::sleep_for(10ms);
            if (auto t = d->TakeTrackChange(); t.Kind != TTrackChange::None) change = t;
        }
        const bool heardNext = c.AfterEndMs > 0;
        // Before the next file is heard it is taken over already, and can't be dropped.
        EXPECT_EQ(d->DropNext(), heardNext) << c.Name;
        if (c.Seek)
            d->Seek(500);
        else
            d->Stop();
        if (auto t = d->TakeTrackChange(); t.Kind != TTrackChange::None) change = t;
        EXPECT_EQ(d->Mode(), TMPModes::mpStopped) << c.Name;
        EXPECT_TRUE(WaitFor([] { return Streams() == 0; }, 2s)) << c.Name << ": a stream stayed";
        // The file last heard is the open one.
        ASSERT_EQ(change.has_value(), heardNext) << c.Name;
        if (heardNext) {
            EXPECT_EQ(change->Path, Path("b.mp3"));
        }
        EXPECT_NEAR(d->Length(), QueuedMs(heardNext ? "b.mp3" : "a.mp3"), 30) << c.Name;
        // Playing on from here reaches that file's end and no change comes.
        d->Seek(d->Length() - 300);
        d->Play();
        EXPECT_TRUE(WaitFor([&] { return d->AtEnd(); }, 4s)) << c.Name;
        EXPECT_EQ(d->TakeTrackChange().Kind, TTrackChange::None) << c.Name;
    }
}

// On a sound server, with its long output buffer, the queued file fails long before the end:
// the track still plays out, and the failure comes once it has.
TEST_F(GstDeviceSound, AQueuedFileThatCannotPlayIsReportedOnceTheTrackHasPlayedOut) {
    auto d = NewSoundDevice();
    d->Open(Path("long.mp3"));
    ASSERT_TRUE(d->QueueNext(Path("noise.mp3")));
    const auto start = testsupport::TSteady::now();
    d->Play();
    const TTrackChange c = WaitForChange(*d, 10s);
    const auto reported = testsupport::TSteady::now();
    ASSERT_EQ(c.Kind, TTrackChange::Failed);
    EXPECT_GT(reported - start, 6800ms) << "reported before the 7 s track had played";
    EXPECT_TRUE(d->AtEnd());
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(Rec->SoundAfter(reported + 100ms).has_value()) << "sound after the end";
    EXPECT_LT(Rec->LongestSilenceMs(start + 300ms, reported), 20.0) << "the track was cut";
}

// The device reads a second or two ahead: a short track is read to its end before it has
// played for long, and a file queued after that is refused, so the caller moves on by itself.
TEST_F(GstDeviceSound, AFileQueuedOnceTheTrackWasReadOutIsRefused) {
    auto d = NewSoundDevice();
    d->Open(Path("c.mp3"));
    d->Play();
    ASSERT_TRUE(WaitFor([&] { return d->Position() > 500; }, 3s));
    EXPECT_FALSE(d->QueueNext(Path("b.mp3")));
    EXPECT_TRUE(WaitFor([&] { return d->AtEnd(); }, 3s));
    EXPECT_EQ(d->TakeTrackChange().Kind, TTrackChange::None);
}

// Play is heard at once after any idle time, and a stopped device keeps no stream open (a
// stream prerolled but never started used to be heard only after as long a silence as it had
// stood).
TEST_F(GstDeviceSound, PlayIsHeardAtOnceAfterAnyIdleTime) {
    struct TCase {
        const char* Name;
        std::function<void(TMediaDevice&)> Arrange, Start;
        std::size_t IdleStreams;
    };
    auto play = [](TMediaDevice& d) { d.Play(); };
    auto playAWhile = [](TMediaDevice& d) {
        d.Play();
        ASSERT_TRUE(WaitFor([&] { return d.Position() > 300; }, 3s));
    };
    const TCase cases[] = {
        {"after open", [](TMediaDevice&) {}, play, 0},
        {"after a seek", [](TMediaDevice& d) { d.Seek(1000); }, play, 0},
        {"after stop",
         [&](TMediaDevice& d) {
             playAWhile(d);
             d.Stop();
         },
         play, 0},
        {"after pause",
         [&](TMediaDevice& d) {
             playAWhile(d);
             d.Pause();
         },
         [](TMediaDevice& d) { EXPECT_TRUE(d.Resume()); }, 1},
    };
    for (const TCase& c : cases) {
        auto d = NewSoundDevice();
        d->Open(Path("long.mp3"));
        c.Arrange(*d);
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(Streams(), c.IdleStreams) << c.Name;
        const auto t = testsupport::TSteady::now();
        c.Start(*d);
        std::this_thread::sleep_for(600ms);
        const std::optional<double> heard = Rec->SoundAfter(t);
        ASSERT_TRUE(heard.has_value()) << c.Name << ": nothing heard";
        EXPECT_LT(*heard, 200.0) << c.Name;
        Report("sound_after_ms_", c.Name, *heard);
        EXPECT_EQ(Streams(), 1u) << c.Name;
    }
}

// Queued files follow one another in one stream with no silence between them, and each change
// is reported when the new file is heard; a pair with 40 ms of silence between them shows that
// the same recording would find a gap.
TEST_F(GstDeviceSound, QueuedFilesFollowInOneStreamWithoutAGap) {
    struct TCase {
        std::vector<const char*> Files;
        double MinGapMs, MaxGapMs;
    };
    const TCase cases[] = {
        {{"a.mp3", "b.mp3", "c.mp3"}, 0.0, 20.0},
        {{"a.mp3", "gapped.mp3"}, 30.0, 60.0},
        {{"a.wma", "b.wma"}, 0.0, 20.0},
    };
    for (const TCase& c : cases) {
        auto d = NewSoundDevice();
        d->Open(Path(c.Files[0]));
        const auto start = testsupport::TSteady::now();
        ASSERT_TRUE(d->QueueNext(Path(c.Files[1])));
        d->Play();
        // The output asks the server about formats on a stream of its own first.
        ASSERT_TRUE(WaitFor([&] { return d->Position() > 100; }, 2s));
        const std::vector<int> stream = testsupport::TPulseServer::SinkInputs();
        testsupport::TSteady::time_point secondReported;
        for (std::size_t i = 1; i < c.Files.size(); ++i) {
            const TTrackChange change = WaitForChange(*d, 5s);
            const auto reported = testsupport::TSteady::now();
            ASSERT_EQ(change.Kind, TTrackChange::Changed) << c.Files[i];
            EXPECT_EQ(change.Path, Path(c.Files[i]));
            EXPECT_EQ(d->Mode(), TMPModes::mpPlaying);
            EXPECT_LT(d->Position(), 300);
            EXPECT_NEAR(d->Length(), QueuedMs(c.Files[i]), 30) << "the new file's length";
            EXPECT_EQ(testsupport::TPulseServer::SinkInputs(), stream) << "a new stream";
            if (i + 1 < c.Files.size()) {
                ASSERT_TRUE(d->QueueNext(Path(c.Files[i + 1])));
            }
            if (i == 1) secondReported = reported;
        }
        ASSERT_TRUE(WaitFor([&] { return d->AtEnd(); }, 5s));
        // Reported when it was heard: the 880 Hz tone of the second file.
        const auto heard = Rec->ToneAbove(660, start);
        ASSERT_TRUE(heard.has_value());
        EXPECT_LT(std::chrono::abs(secondReported - *heard), 150ms);
        Report("reported_after_heard_ms_", c.Files[1], (secondReported - *heard) / 1ms);
        const double gap = Rec->LongestSilenceMs(start, testsupport::TSteady::now());
        Report("longest_silence_ms_", c.Files[1], gap);
        EXPECT_GE(gap, c.MinGapMs) << c.Files[1];
        EXPECT_LE(gap, c.MaxGapMs) << c.Files[1];
    }
}

// Play and, 50 ms later, Seek or Stop with a file queued, as MPRIS SetPosition 0 every 50 ms and
// F4/F2 do: taking the pipeline down drains the source, which once handed the queued file over
// under the shutdown, and a streaming thread of it asked the output about formats after the
// sound server's connection was gone (the client library aborted within 300 rounds).
TEST_F(GstDeviceSound, QuickCommandsWithAQueuedFileKeepTheOutputAlive) {
    auto d = NewSoundDevice();
    d->Open(Path("a.mp3"));
    for (int i = 0; i < 300; ++i) {
        d->QueueNext(Path(i % 2 ? "b.mp3" : "c.mp3"));
        d->Play();
        std::this_thread::sleep_for(50ms);
        i % 3 ? d->Seek(0) : d->Stop();
    }
    EXPECT_EQ(d->Mode(), TMPModes::mpStopped);
    EXPECT_EQ(d->TakeTrackChange().Kind, TTrackChange::None);
    EXPECT_TRUE(WaitFor([] { return Streams() == 0; }, 2s));
}

// ReplayGain: the level follows the track or the album gain of a tagged file (album falling back
// to track), and a file without tags plays at its own level, also after a tagged one.
TEST_F(GstDeviceSound, ReplayGainSetsTheLevelFromTheTags) {
    // The level of the last file, heard a moment after it started.
    auto level = [&](int mode, std::vector<const char*> files) {
        auto d = NewSoundDevice();
        d->SetReplayGain(mode);
        d->Open(Path(files[0]));
        const bool change = files.size() > 1 && d->QueueNext(Path(files[1]));
        d->Play();
        if (change) {
            EXPECT_EQ(WaitForChange(*d, 5s).Kind, TTrackChange::Changed);
        }
        const auto t = testsupport::TSteady::now();
        std::this_thread::sleep_for(1000ms);
        return Rec->LevelDb(t + 300ms, t + 900ms);
    };
    const double plain = level(0, {"b.mp3"});
    const std::tuple<const char*, int, std::vector<const char*>, double> cases[] = {
        {"off", 0, {"rg.mp3"}, 0},     {"track", 1, {"rg.mp3"}, -6},
        {"album", 2, {"rg.mp3"}, -10}, {"album without an album gain", 2, {"rgtrack.mp3"}, -6},
        {"no tags", 2, {"b.mp3"}, 0},  {"no tags after a tagged file", 1, {"rg.mp3", "b.mp3"}, 0},
    };
    for (const auto& [name, mode, files, gainDb] : cases)
        EXPECT_NEAR(level(mode, files) - plain, gainDb, 1.0) << name;
}

} // namespace
