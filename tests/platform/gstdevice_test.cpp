// The GStreamer device on tones generated at test time, played into a silent real-time sink.
#include "platform/FileName.h"
#include "platform/GstMediaDevice.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace std::chrono_literals;
using testsupport::GenerateTone;
using testsupport::TTempDir;

namespace {

using testsupport::WaitFor;

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
    auto bytes = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string mp3 = bytes(*Dir / "cbr.mp3");
    const std::string wma = bytes(*Dir / "tone.wma");
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

} // namespace
