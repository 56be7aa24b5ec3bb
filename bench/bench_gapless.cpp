// The junctions of queued files as the sound device puts them out, heard on a private PulseAudio
// null sink: one continuous 440 Hz tone cut into three files, each queued right after the one
// before it was opened or heard. The longest dip under half the tone's level tells the samples
// added (encoder delay, padding, a decoder's warm-up) or lost at a junction; a sample-exact join
// shows none (the tone itself stays under half level for 0.4 ms around each zero crossing).
// Then the level of a file with ReplayGain tags played with ReplayGain off, by track and by
// album, against what its tags say.
#include "platform/GstMediaDevice.h"
#include "support/TestPulse.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::TMonitorRecorder;
using testsupport::TSteady;

namespace {

// Plays the files one into the next as the player does; the longest dip in ms, or -1.
double PlayThrough(TMediaDevice& device, TMonitorRecorder& rec,
                   const std::vector<std::string>& files) {
    auto path = [&](std::size_t i) { return QString::fromStdString(files[i]); };
    device.Open(path(0));
    if (!device.QueueNext(path(1))) return -1; // right after Open, before Play
    const auto start = TSteady::now();
    device.Play();
    for (std::size_t i = 1; i < files.size(); ++i) {
        TTrackChange c;
        if (!testsupport::WaitFor(
                [&] { return (c = device.TakeTrackChange()).Kind != TTrackChange::None; }, 10s) ||
            c.Kind != TTrackChange::Changed)
            return -1;
        if (i + 1 < files.size() && !device.QueueNext(path(i + 1))) return -1;
    }
    if (!testsupport::WaitFor([&] { return device.AtEnd(); }, 10s)) return -1;
    std::this_thread::sleep_for(300ms);
    return rec.LongestDipMs(start, TSteady::now());
}

// The level heard from 0.5 s to 1.5 s into a file played with ReplayGain in mode, in dBFS.
double PlayedLevel(TMonitorRecorder& rec, int mode, const QString& path) {
    TGstDeviceOptions options;
    options.AudioSink = QStringLiteral("pulsesink");
    auto device = CreateGstMediaDevice(options);
    device->SetReplayGain(mode);
    device->Open(path);
    const auto start = TSteady::now();
    device->Play();
    std::this_thread::sleep_for(1700ms);
    return rec.LevelDb(start + 500ms, start + 1500ms);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testsupport::TPulseServer pulse;
    if (!pulse.Ok()) {
        std::fprintf(stderr, "bench_gapless: no private PulseAudio server (pulseaudio)\n");
        return 1;
    }
    testsupport::TTempDir dir("velodra-bench-gapless");
    struct TCase {
        const char* Name;
        const char* Ext;
        std::vector<double> Seconds;
        const char* Encoder;
        double TargetMs;
    };
    const TCase cases[] = {
        {"MP3 by LAME, 4 s", "mp3", {4, 4, 4}, "lame -b 192", 5},
        {"MP3 by ffmpeg, 4 s", "mp3", {4, 4, 4}, "-c:a libmp3lame -b:a 192k", 5},
        {"MP3 by ffmpeg, 3 s", "mp3", {3, 3, 3}, "-c:a libmp3lame -b:a 128k", 5},
        {"WMA (wmav2), 4 s", "wma", {4, 4, 4}, "-c:a wmav2 -b:a 128k", 10},
    };
    TGstDeviceOptions options;
    options.AudioSink = QStringLiteral("pulsesink");
    auto device = CreateGstMediaDevice(options);
    TMonitorRecorder rec;
    std::printf("bench_gapless: longest dip under half level at the junctions of 3 files\n");
    std::printf("  %-22s %10s %10s\n", "files", "dip (ms)", "target");
    int stem = 0;
    for (const TCase& c : cases) {
        const auto files = testsupport::CutTone(dir.Path.string(), "t" + std::to_string(stem++),
                                                c.Ext, c.Seconds, c.Encoder);
        if (files.empty()) {
            std::fprintf(stderr, "could not make the files of %s\n", c.Name);
            return 1;
        }
        const double dip = PlayThrough(*device, rec, files);
        if (dip < 0)
            std::printf("  %-22s %10s %8s%.0f\n", c.Name, "no change", "< ", c.TargetMs);
        else
            std::printf("  %-22s %10.1f %8s%.0f\n", c.Name, dip, "< ", c.TargetMs);
        device->Close();
    }

    const std::string tagged = dir / "tagged.mp3";
    if (!testsupport::GenerateTone(tagged, 3,
                                   "-c:a libmp3lame -metadata REPLAYGAIN_TRACK_GAIN=\"-6.00 dB\" "
                                   "-metadata REPLAYGAIN_ALBUM_GAIN=\"-9.00 dB\"")) {
        std::fprintf(stderr, "could not make the tagged file\n");
        return 1;
    }
    const QString path = QString::fromStdString(tagged);
    const double off = PlayedLevel(rec, 0, path);
    std::printf(
        "\nReplayGain on an MP3 tagged track -6 dB, album -9 dB (level against off, %.1f dBFS):\n",
        off);
    std::printf("  %-10s %10s %10s\n", "mode", "measured", "tags");
    std::printf("  %-10s %+10.2f %+10.2f\n", "track", PlayedLevel(rec, 1, path) - off, -6.0);
    std::printf("  %-10s %+10.2f %+10.2f\n", "album", PlayedLevel(rec, 2, path) - off, -9.0);
    return 0;
}
