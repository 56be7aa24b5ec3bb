// The playback engine's cost: CPU share of one core while a 60 s file plays through GStreamer
// into a silent real-time sink, and the time from OpenFile to the position first moving after
// Play (median of 20). MP3 is the measured case; WMA runs beside it for comparison.
//
// Usage: bench_engine [seconds to play, default 60]
#include "platform/Error.h"
#include "platform/GstMediaDevice.h"
#include "player/UFormPlayer.h"
#include "support/TestAudio.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::unique_ptr<TFormPlayer> NewPlayer(const std::string& folder, const QString& name) {
    TGstDeviceOptions o;
    o.AudioSink = QStringLiteral("fakesink");
    auto player = std::make_unique<TFormPlayer>(CreateGstMediaDevice(o));
    player->Library = TLibrary(QString::fromStdString(folder), {QStringLiteral("/") + name});
    return player;
}

struct TResult {
    double CpuPercent = -1;
    double PlayedSeconds = 0;
    double MedianStartMs = -1;
    double WorstStartMs = -1;
    int Failures = 0;
};

// Plays the whole file, polling as the main window's timer does (every 100 ms).
void MeasureCpu(TFormPlayer& player, double seconds, TResult& r) {
    player.OpenFile(0, 0);
    player.ReadMediaInfo();
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    player.Play();
    const auto limit = t0 + std::chrono::duration<double>(seconds + 10);
    while (Clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QCoreApplication::processEvents();
        (void)player.Position();
        if (!player.IsPlaying()) break;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    r.CpuPercent = (ProcessCpuSeconds() - cpu0) / wall * 100.0;
    r.PlayedSeconds = wall;
    player.Stop();
}

void MeasureStart(TFormPlayer& player, int runs, TResult& r) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        try {
            player.OpenFile(0, 0);
            player.Play();
        } catch (const EVelodraError&) {
            ++r.Failures;
            continue;
        }
        const auto limit = t0 + std::chrono::seconds(5);
        while (player.Position() <= 0 && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (player.Position() <= 0)
            ++r.Failures;
        else
            ms.push_back(Ms(Clock::now() - t0));
    }
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    r.MedianStartMs = ms[ms.size() / 2];
    r.WorstStartMs = ms.back();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(5.0, std::atof(argv[1])) : 60.0;

    testsupport::TTempDir dir("velodra-bench-engine");
    struct TFormat {
        const char* Label;
        const char* Name;
        const char* Args;
    };
    const TFormat formats[] = {
        {"MP3 128k", "tone.mp3", "-c:a libmp3lame -b:a 128k"},
        {"WMA 128k", "tone.wma", "-c:a wmav2 -b:a 128k"},
    };
    constexpr int kRuns = 20;
    constexpr double kCpuTarget = 2.0;     // % of one core
    constexpr double kStartTarget = 100.0; // ms

    std::vector<TResult> results;
    for (const TFormat& f : formats) {
        if (!testsupport::GenerateTone(dir / f.Name, seconds, f.Args)) {
            std::fprintf(stderr, "could not generate %s (ffmpeg)\n", f.Name);
            return 1;
        }
        TResult r;
        auto player = NewPlayer(dir.Path.string(), QString::fromLatin1(f.Name));
        try {
            MeasureStart(*player, kRuns, r);
            MeasureCpu(*player, seconds, r);
        } catch (const EVelodraError& e) {
            std::fprintf(stderr, "%s: %s\n", f.Label, e.what());
            return 1;
        }
        results.push_back(r);
    }

    std::printf("bench_engine: %.0f s tones through playbin into fakesink (sync), polled every "
                "100 ms\n\n",
                seconds);
    std::printf("%-10s %12s %8s %8s   %16s %10s %8s %8s\n", "file", "CPU % core", "target", "ratio",
                "OpenFile->moving", "worst", "target", "ratio");
    for (size_t i = 0; i < results.size(); ++i) {
        const TResult& r = results[i];
        std::printf("%-10s %11.2f%% %7.1f%% %8.2f   %13.1f ms %7.1f ms %5.0f ms %8.2f",
                    formats[i].Label, r.CpuPercent, kCpuTarget, r.CpuPercent / kCpuTarget,
                    r.MedianStartMs, r.WorstStartMs, kStartTarget, r.MedianStartMs / kStartTarget);
        if (r.Failures) std::printf("  (%d of %d starts failed)", r.Failures, kRuns);
        std::printf("\n");
    }
    if (results.size() == 2 && results[0].CpuPercent > 0) {
        std::printf("\nWMA / MP3: CPU %.2fx, start %.2fx\n",
                    results[1].CpuPercent / results[0].CpuPercent,
                    results[1].MedianStartMs / results[0].MedianStartMs);
    }
    const bool met = results[0].CpuPercent < kCpuTarget && results[0].MedianStartMs >= 0 &&
                     results[0].MedianStartMs < kStartTarget;
    std::printf("MP3 targets (CPU < %.0f%%, start < %.0f ms): %s\n", kCpuTarget, kStartTarget,
                met ? "met" : "NOT met");
    return 0;
}
