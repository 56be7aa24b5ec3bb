// The playback engine on a private PulseAudio null sink, side by side with references in one run:
// - CPU share of one core while a 192 kbit/s MP3 plays: the real program (app/velodra with its
//   window on Qt's offscreen platform, resuming playback from its settings), the device alone
//   polled every 100 ms as the main window's timer polls it, a bare `gst-launch-1.0 playbin` of
//   the same file on the same sink and `audacious -H` (said to be skipped when it is not
//   installed); the sound server's share during each run beside it.
// - Time to sound, heard on the sink's monitor: Play after OpenFile, Play after an idle open, and
//   the silence of a seek while playing; against a playbin kept prerolled in PAUSED (the way the
//   device used to start).
//
// Usage: bench_engine [seconds to play, default 30] [idle seconds before Play, default 5]
#include "platform/GstMediaDevice.h"
#include "support/TestPulse.h"

#include <gst/gst.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::TMonitorRecorder;
using testsupport::TSteady;

double SelfCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct TCpu {
    double Player = -1; // % of one core
    double Server = -1;
};

// CPU of a player and of the sound server over the same stretch of playing: from a second after
// the start (past decoder set-up) for `seconds`, polled every 100 ms by `tick`.
TCpu MeasureCpu(const std::function<double()>& playerCpu, pid_t server, double seconds,
                const std::function<void()>& tick) {
    const auto settle = TSteady::now() + 1s;
    while (TSteady::now() < settle) {
        std::this_thread::sleep_for(100ms);
        tick();
    }
    const double p0 = playerCpu(), s0 = testsupport::ProcessCpuSeconds(server);
    const auto t0 = TSteady::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (TSteady::now() < end) {
        std::this_thread::sleep_for(100ms);
        tick();
    }
    const double wall = std::chrono::duration<double>(TSteady::now() - t0).count();
    return {(playerCpu() - p0) / wall * 100.0,
            (testsupport::ProcessCpuSeconds(server) - s0) / wall * 100.0};
}

// An outside program playing the file, measured the same way; skipped (-1) when it won't start.
TCpu MeasureProgram(const std::vector<std::string>& args, pid_t server, double seconds) {
    const pid_t pid = testsupport::Spawn(args);
    if (pid <= 0) return {};
    // It is playing once the server holds its stream.
    if (!testsupport::WaitFor([] { return !testsupport::TPulseServer::SinkInputs().empty(); },
                              5s)) {
        testsupport::EndProcess(pid);
        return {};
    }
    const TCpu r =
        MeasureCpu([pid] { return testsupport::ProcessCpuSeconds(pid); }, server, seconds, [] {});
    testsupport::EndProcess(pid);
    testsupport::WaitFor([] { return testsupport::TPulseServer::SinkInputs().empty(); }, 5s);
    return r;
}

bool OnPath(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// The old way of starting: one playbin kept prerolled in PAUSED between open and play.
class TPrerolledPlaybin {
public:
    explicit TPrerolledPlaybin(const std::string& path) {
        gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
        Pipeline = gst_element_factory_make("playbin", nullptr);
        g_object_set(Pipeline, "uri", uri, "flags", 1u << 1, nullptr);
        g_free(uri);
        gst_element_set_state(Pipeline, GST_STATE_PAUSED);
        gst_element_get_state(Pipeline, nullptr, nullptr, 5 * GST_SECOND);
    }
    ~TPrerolledPlaybin() {
        gst_element_set_state(Pipeline, GST_STATE_NULL);
        gst_object_unref(Pipeline);
    }
    void Play() { gst_element_set_state(Pipeline, GST_STATE_PLAYING); }
    void Seek(std::int32_t ms) {
        gst_element_seek_simple(
            Pipeline, GST_FORMAT_TIME,
            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
            static_cast<gint64>(ms) * GST_MSECOND);
    }

private:
    GstElement* Pipeline;
};

struct TStart {
    std::vector<double> AfterOpen, AfterIdle, SeekSilence;
};

// Sound after `start` is called; -1 when nothing was heard within `listen`.
double TimeToSound(TMonitorRecorder& rec, const std::function<void()>& start,
                   std::chrono::duration<double> listen = 2s) {
    const auto t = TSteady::now();
    start();
    std::this_thread::sleep_for(listen);
    return rec.SoundAfter(t).value_or(-1);
}

// The silence a seek leaves while playing.
double SeekSilence(TMonitorRecorder& rec, const std::function<void()>& seek) {
    std::this_thread::sleep_for(700ms);
    const auto t = TSteady::now();
    seek();
    std::this_thread::sleep_for(1s);
    return rec.LongestSilenceMs(t - 300ms, TSteady::now());
}

void PrintStartRow(const char* label, const std::vector<double>& ours,
                   const std::vector<double>& reference) {
    const double a = Median(ours), b = Median(reference);
    std::printf("%-30s %9.1f ms %12.1f ms %8.2f\n", label, a, b, b > 0 ? a / b : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(5.0, std::atof(argv[1])) : 30.0;
    const double idle = argc > 2 ? std::max(0.0, std::atof(argv[2])) : 5.0;
    constexpr int kRuns = 5;
    constexpr int kRounds = 2;

    testsupport::TPulseServer pulse;
    if (!pulse.Ok()) {
        std::fprintf(stderr, "bench_engine: no private PulseAudio server (pulseaudio)\n");
        return 1;
    }
    gst_init(nullptr, nullptr);
    testsupport::TTempDir dir("velodra-bench-engine");
    const std::string mp3 = dir / "lib/tone.mp3";
    if (!testsupport::GenerateTone(mp3, seconds + 5, "-c:a libmp3lame -b:a 192k")) {
        std::fprintf(stderr, "could not generate %s (ffmpeg)\n", mp3.c_str());
        return 1;
    }
    const QString path = QString::fromStdString(mp3);
    const TGstDeviceOptions options; // the program's own choice of output and buffer
    auto device = CreateGstMediaDevice(options);

    // --- CPU while playing: each player in turn, twice, so that a change of load on the
    // machine falls on all of them alike.
    gchar* uri = gst_filename_to_uri(mp3.c_str(), nullptr);
    const std::vector<std::string> gstLaunch = {"gst-launch-1.0", "-q", "playbin",
                                                std::string("uri=") + uri};
    g_free(uri);
    // Its own settings folder, and no session bus to hand the file to a running copy.
    const std::vector<std::string> audaciousArgs = {"env",
                                                    "-u",
                                                    "DBUS_SESSION_BUS_ADDRESS",
                                                    "-u",
                                                    "DISPLAY",
                                                    "HOME=" + dir.Path.string(),
                                                    "XDG_CONFIG_HOME=" + (dir / "config"),
                                                    "audacious",
                                                    "-H",
                                                    "-q",
                                                    mp3};
    const bool haveAudacious = OnPath("audacious");
    // The program itself, playing the file from its settings on start, without the pop-up (it
    // shows once per track, not while a track plays).
    const std::string config = dir / "velodra-config", runtime = dir / "velodra-run";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    testsupport::WriteFile(config + "/velodra.ini",
                           "[Last]\nRoot=" + (dir / "lib") +
                               "\nFolder=0\nFile=0\nPlaying=1\n[Config]\nPlayNotification=0\n");
    const std::vector<std::string> programArgs = {
        "env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config,
        "XDG_RUNTIME_DIR=" + runtime, VELODRA_BINARY_DIR "/app/velodra"};
    TGstDeviceOptions outputDefaults = options;
    outputDefaults.BufferTimeMs = outputDefaults.LatencyTimeMs = 0;
    auto deviceCpu = [&](const TGstDeviceOptions& o) {
        auto d = CreateGstMediaDevice(o);
        d->Open(path);
        d->Play();
        return MeasureCpu(SelfCpuSeconds, pulse.Pid(), seconds / kRounds, [&] {
            (void)d->Position();
            (void)d->Mode();
            (void)d->AtEnd();
            (void)d->TakeTrackChange();
        });
    };
    // Means over the rounds; a player that failed once stays "did not play" (-1).
    TCpu ours{0, 0}, defaults{0, 0}, program{0, 0}, bare{0, 0}, audacious;
    auto add = [](TCpu& mean, const TCpu& one) {
        if (mean.Player < 0 || one.Player < 0) {
            mean = {};
            return;
        }
        mean.Player += one.Player / kRounds;
        mean.Server += one.Server / kRounds;
    };
    for (int round = 0; round < kRounds; ++round) {
        add(ours, deviceCpu(options));
        add(defaults, deviceCpu(outputDefaults));
        add(program, MeasureProgram(programArgs, pulse.Pid(), seconds / kRounds));
        add(bare, MeasureProgram(gstLaunch, pulse.Pid(), seconds / kRounds));
        if (haveAudacious) {
            if (round == 0) audacious = {0, 0};
            add(audacious, MeasureProgram(audaciousArgs, pulse.Pid(), seconds / kRounds));
        }
    }

    // --- time to sound
    TStart our, old;
    {
        TMonitorRecorder rec;
        for (int i = 0; i < kRuns; ++i) {
            device->Open(path);
            our.AfterOpen.push_back(TimeToSound(rec, [&] { device->Play(); }));
            our.SeekSilence.push_back(SeekSilence(rec, [&] {
                device->Seek(10000 + 1000 * i);
                device->Play();
            }));
            device->Close();
            TPrerolledPlaybin reference(mp3);
            old.AfterOpen.push_back(TimeToSound(rec, [&] { reference.Play(); }));
            old.SeekSilence.push_back(SeekSilence(rec, [&] { reference.Seek(10000 + 1000 * i); }));
        }
        device->Open(path);
        std::this_thread::sleep_for(std::chrono::duration<double>(idle));
        const auto listen = std::chrono::duration<double>(idle + 2);
        our.AfterIdle.push_back(TimeToSound(
            rec, [&] { device->Play(); }, listen));
        device->Close();
        TPrerolledPlaybin reference(mp3);
        std::this_thread::sleep_for(std::chrono::duration<double>(idle));
        old.AfterIdle.push_back(TimeToSound(
            rec, [&] { reference.Play(); }, listen));
    }

    std::printf("bench_engine: %.0f s of a 192 kbit/s MP3 on a PulseAudio null sink (output "
                "buffer %d ms in %d ms pieces; the defaults are the output's own)\n\n",
                seconds, options.BufferTimeMs, options.LatencyTimeMs);
    std::printf("CPU, %% of one core     %10s %14s %12s\n", "player", "sound server",
                "/ audacious");
    auto row = [&](const char* label, const TCpu& c) {
        if (c.Player < 0) {
            std::printf("%-22s %10s\n", label, "did not play");
            return;
        }
        if (audacious.Player > 0)
            std::printf("%-22s %9.2f%% %13.2f%% %11.2fx\n", label, c.Player, c.Server,
                        c.Player / audacious.Player);
        else
            std::printf("%-22s %9.2f%% %13.2f%%\n", label, c.Player, c.Server);
    };
    row("Velodra program", program);
    row("Velodra device", ours);
    row("...output's defaults", defaults);
    row("gst-launch playbin", bare);
    if (haveAudacious)
        row("audacious -H", audacious);
    else
        std::printf("%-22s %10s\n", "audacious -H", "skipped (audacious is not installed)");
    auto ratio = [](const char* label, const TCpu& a, const TCpu& b) {
        if (a.Player > 0 && b.Player > 0)
            std::printf("%-34s %.2fx (with the sound server: %.2fx)\n", label, a.Player / b.Player,
                        (a.Player + a.Server) / (b.Player + b.Server));
    };
    ratio("program / gst-launch:", program, bare);
    ratio("program / audacious:", program, audacious);
    ratio("device / gst-launch:", ours, bare);
    ratio("device / audacious:", ours, audacious);

    std::printf("\n%-30s %12s %15s %8s\n", "time to sound (median)", "ours", "prerolled ref",
                "ratio");
    PrintStartRow("Play after Open", our.AfterOpen, old.AfterOpen);
    char label[64];
    std::snprintf(label, sizeof label, "Play after a %.0f s idle open", idle);
    PrintStartRow(label, our.AfterIdle, old.AfterIdle);
    PrintStartRow("silence of a seek while playing", our.SeekSilence, old.SeekSilence);
    std::printf("(-1: nothing heard within 2 s, or the idle time + 2 s; %d runs each, the idle "
                "case once)\n",
                kRuns);
    return 0;
}
