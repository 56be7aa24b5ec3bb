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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::TMonitorRecorder;
using testsupport::TSteady;

namespace {

// One continuous tone cut into files of the given lengths (stem-1.ext, stem-2.ext...), each
// encoded with the given ffmpeg output options, or with the lame program when they start with
// "lame", each at its own sample rate where rates gives one. Returns the files' paths, or none
// when a step failed.
std::vector<std::string> CutTone(const std::string& dir, const std::string& stem,
                                 const std::string& ext, const std::vector<double>& seconds,
                                 const std::string& encoder, const std::vector<int>& rates) {
    double total = 0;
    for (double s : seconds)
        total += s;
    const std::string whole = dir + "/" + stem + "-whole.wav";
    if (!testsupport::GenerateTone(whole, total, "")) return {};
    std::vector<std::string> files;
    long from = 0;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const long to = from + std::lround(seconds[i] * 44100);
        const std::string part = dir + "/" + stem + "-" + std::to_string(i) + ".wav";
        const std::string file = dir + "/" + stem + "-" + std::to_string(i + 1) + "." + ext;
        std::string cmd = "ffmpeg -nostdin -y -hide_banner -loglevel error -i \"" + whole +
                          "\" -af atrim=start_sample=" + std::to_string(from) +
                          ":end_sample=" + std::to_string(to) + " \"" + part + "\" && ";
        if (encoder.rfind("lame", 0) == 0)
            cmd += encoder + " --quiet \"" + part + "\" \"" + file + "\"";
        else
            cmd += "ffmpeg -nostdin -y -hide_banner -loglevel error -i \"" + part + "\" " +
                   encoder +
                   (i < rates.size() ? " -af aresample=" + std::to_string(rates[i]) : "") + " \"" +
                   file + "\"";
        if (std::system(cmd.c_str()) != 0) return {};
        files.push_back(file);
        from = to;
    }
    return files;
}

// The longest run under half the loudest level between the first and the last sample at or
// above it, in ms: a junction of a continuous tone that lost or added samples.
double LongestDipMs(const std::vector<std::int16_t>& heard) {
    int peak = 0;
    for (const std::int16_t s : heard)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    std::size_t run = 0, longest = 0;
    bool loud = false;
    for (const std::int16_t s : heard) {
        if (2 * std::abs(static_cast<int>(s)) >= peak) {
            if (loud) longest = std::max(longest, run);
            loud = true;
            run = 0;
        } else {
            ++run;
        }
    }
    return longest * 1000.0 / TMonitorRecorder::Rate;
}

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
    return LongestDipMs(rec.Between(start, TSteady::now()));
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
        std::vector<int> Rates = {}; // of each file; none: the tone's 44.1 kHz
    };
    const TCase cases[] = {
        {"MP3 by LAME, 4 s", "mp3", {4, 4, 4}, "lame -b 192", 5},
        {"MP3 by ffmpeg, 4 s", "mp3", {4, 4, 4}, "-c:a libmp3lame -b:a 192k", 5},
        {"MP3 by ffmpeg, 3 s", "mp3", {3, 3, 3}, "-c:a libmp3lame -b:a 128k", 5},
        {"WMA (wmav2), 4 s", "wma", {4, 4, 4}, "-c:a wmav2 -b:a 128k", 10},
        // A change of sample rate within a play: the output keeps the first file's rate.
        {"FLAC 44.1>48>44.1 kHz", "flac", {4, 4, 4}, "-c:a flac", 5, {44100, 48000, 44100}},
    };
    TGstDeviceOptions options;
    options.AudioSink = QStringLiteral("pulsesink");
    auto device = CreateGstMediaDevice(options);
    TMonitorRecorder rec;
    std::printf("bench_gapless: longest dip under half level at the junctions of 3 files\n");
    std::printf("  %-22s %10s %10s\n", "files", "dip (ms)", "target");
    int stem = 0;
    for (const TCase& c : cases) {
        const auto files = CutTone(dir.Path.string(), "t" + std::to_string(stem++), c.Ext,
                                   c.Seconds, c.Encoder, c.Rates);
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
