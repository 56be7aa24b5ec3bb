// The playback engine on a private PulseAudio null sink, side by side with references in one run:
// - CPU share of one core while a 192 kbit/s MP3 plays: the real program (app/velodra with its
//   window on Qt's offscreen platform, resuming playback from its settings), the device alone
//   polled every 100 ms as the main window's timer polls it, a bare `gst-launch-1.0 playbin` of
//   the same file on the same sink and `audacious -H` (said to be skipped when it is not
//   installed); the sound server's share during each run beside it. The program's and the
//   reference's shares thread by thread (the UI thread, the "sound device" worker, GStreamer's
//   and the sound client's threads), and the target: the whole program at most the reference.
// - Wake-ups a second while idle (nothing playing) with the window shown, under Xvfb (offscreen
//   without it): the program's UI thread and all its threads, beside the reference's window
//   (its default interface and its Qt one).
// - Time to sound, heard on the sink's monitor: Play after OpenFile, Play after an idle open, and
//   the silence of a seek while playing; against a playbin kept prerolled in PAUSED (the way the
//   device used to start).
//
// Usage: bench_engine [seconds to play, default 30] [idle seconds before Play, default 5]
//                     [seconds of idle wake-ups counted, default 10]
#include "BenchSupport.h"
#include "platform/GstMediaDevice.h"
#include "support/TestPulse.h"

#include <gst/gst.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using bench::ByName;
using bench::ProcessCpuSeconds;
using bench::Threads;
using bench::TThread;
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
    // Outside programs, by thread name: % of one core, and wake-ups a second.
    std::map<std::string, double> Threads, Wakeups;
};

// CPU of a player and of the sound server over the same stretch of playing: from a second after
// the start (past decoder set-up) for `seconds`, polled every 100 ms by `tick`. With a pid, its
// threads' shares as well.
TCpu MeasureCpu(const std::function<double()>& playerCpu, pid_t server, double seconds,
                const std::function<void()>& tick, pid_t threadsOf = 0) {
    const auto settle = TSteady::now() + 1s;
    while (TSteady::now() < settle) {
        std::this_thread::sleep_for(100ms);
        tick();
    }
    const auto threads0 = threadsOf > 0 ? Threads(threadsOf) : std::map<long, TThread>{};
    const double p0 = playerCpu(), s0 = ProcessCpuSeconds(server);
    const auto t0 = TSteady::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (TSteady::now() < end) {
        std::this_thread::sleep_for(100ms);
        tick();
    }
    const double wall = std::chrono::duration<double>(TSteady::now() - t0).count();
    const auto threads1 = threadsOf > 0 ? Threads(threadsOf) : std::map<long, TThread>{};
    TCpu r{
        (playerCpu() - p0) / wall * 100.0, (ProcessCpuSeconds(server) - s0) / wall * 100.0, {}, {}};
    for (const auto& [name, sec] : ByName(threadsOf, threads0, threads1, &TThread::Seconds))
        r.Threads[name] = sec / wall * 100.0;
    for (const auto& [name, n] : ByName(threadsOf, threads0, threads1, &TThread::Wakeups))
        r.Wakeups[name] = n / wall;
    return r;
}

// The server holds a stream of it that is not corked: sound flows.
bool StreamPlays() {
    FILE* p = popen("pactl list sink-inputs 2>/dev/null", "r");
    if (!p) return false;
    bool plays = false;
    char line[512];
    while (std::fgets(line, sizeof line, p))
        plays = plays || std::strstr(line, "Corked: no");
    pclose(p);
    return plays;
}

// An outside program playing the file, measured the same way; skipped (-1) when it won't start.
TCpu MeasureProgram(const std::vector<std::string>& args, pid_t server, double seconds) {
    const pid_t pid = testsupport::Spawn(args);
    if (pid <= 0) return {};
    if (!testsupport::WaitFor(StreamPlays, 10s)) {
        testsupport::EndProcess(pid);
        return {};
    }
    const TCpu r =
        MeasureCpu([pid] { return ProcessCpuSeconds(pid); }, server, seconds, [] {}, pid);
    testsupport::EndProcess(pid);
    testsupport::WaitFor([] { return testsupport::TPulseServer::SinkInputs().empty(); }, 5s);
    return r;
}

// Voluntary context switches a second of a program left alone: its main thread's and all its
// threads' (-1: it did not run).
struct TWakeups {
    double Ui = -1;
    double All = -1;
};
TWakeups IdleWakeups(const std::vector<std::string>& args, double seconds) {
    const pid_t pid = testsupport::Spawn(args);
    if (pid <= 0) return {};
    std::this_thread::sleep_for(4s); // started, its file opened, its window drawn
    const auto before = Threads(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto after = Threads(pid);
    const bool ran = waitpid(pid, nullptr, WNOHANG) == 0 && after.count(pid) > 0;
    testsupport::EndProcess(pid);
    if (!ran) return {};
    TWakeups w{after.at(pid).Wakeups - before.at(pid).Wakeups, 0};
    for (const auto& [name, n] : ByName(pid, before, after, &TThread::Wakeups))
        w.All += n;
    w.Ui /= seconds;
    w.All /= seconds;
    return w;
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
    const double wakeSeconds = argc > 3 ? std::max(1.0, std::atof(argv[3])) : 10.0;
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
    // Both programs on a session bus of their own, as on a desktop (none where there is no
    // bus daemon): a running copy elsewhere is never handed the file.
    const bench::TDaemon bus(bench::PrivateBus());
    const std::string busEnv =
        bus.Ok() ? "DBUS_SESSION_BUS_ADDRESS=" + bus.Line : "DBUS_SESSION_BUS_ADDRESS=";
    // Its own settings folder; on the display given, else headless without one.
    const auto audaciousArgs = [&](const std::string& home, const std::string& display,
                                   std::vector<std::string> extra) {
        std::vector<std::string> args = {"env"};
        if (display.empty())
            args.insert(args.end(), {"-u", "DISPLAY"});
        else
            args.push_back(display);
        args.insert(args.end(), {busEnv, "HOME=" + (dir / home),
                                 "XDG_CONFIG_HOME=" + (dir / (home + "/config")), "NO_AT_BRIDGE=1",
                                 "GSETTINGS_BACKEND=memory", "audacious"});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const auto audaciousHeadless = audaciousArgs("audacious-headless", {}, {"-H", "-q", mp3});
    const bool haveAudacious = bench::OnPath("audacious");
    // The program itself, resuming the file from its settings on start: playing, without the
    // pop-up (it shows once per track, not while a track plays), or idle.
    const auto programArgs = [&](const std::string& name, bool playing,
                                 std::vector<std::string> display) {
        const std::string config = dir / (name + "-config"), runtime = dir / (name + "-run");
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        testsupport::WriteFile(config + "/velodra.ini",
                               "[Last]\nRoot=" + (dir / "lib") + "\nFolder=0\nFile=0\nPlaying=" +
                                   (playing ? "1" : "0") + "\n[Config]\nPlayNotification=0\n");
        std::vector<std::string> args = {"env", busEnv, "XDG_CONFIG_HOME=" + config,
                                         "XDG_RUNTIME_DIR=" + runtime};
        args.insert(args.end(), display.begin(), display.end());
        args.push_back(VELODRA_BINARY_DIR "/app/velodra");
        return args;
    };
    const auto programPlaying = programArgs("velodra", true, {"QT_QPA_PLATFORM=offscreen"});
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
    const TCpu zero{0, 0, {}, {}};
    TCpu ours = zero, defaults = zero, program = zero, bare = zero, audacious;
    auto add = [](TCpu& mean, const TCpu& one) {
        if (mean.Player < 0 || one.Player < 0) {
            mean = {};
            return;
        }
        mean.Player += one.Player / kRounds;
        mean.Server += one.Server / kRounds;
        for (const auto& [name, share] : one.Threads)
            mean.Threads[name] += share / kRounds;
        for (const auto& [name, n] : one.Wakeups)
            mean.Wakeups[name] += n / kRounds;
    };
    for (int round = 0; round < kRounds; ++round) {
        add(ours, deviceCpu(options));
        add(defaults, deviceCpu(outputDefaults));
        add(program, MeasureProgram(programPlaying, pulse.Pid(), seconds / kRounds));
        add(bare, MeasureProgram(gstLaunch, pulse.Pid(), seconds / kRounds));
        if (haveAudacious) {
            if (round == 0) audacious = zero;
            add(audacious, MeasureProgram(audaciousHeadless, pulse.Pid(), seconds / kRounds));
        }
    }

    // --- wake-ups while idle with the window shown: under Xvfb where it is, both programs on
    // the same display; else the program offscreen alone.
    const bench::TDaemon xvfb(bench::VirtualDisplay());
    const std::string display = "DISPLAY=:" + xvfb.Line;
    std::vector<std::pair<std::string, TWakeups>> wakeups;
    if (xvfb.Ok())
        wakeups.emplace_back(
            "Velodra (xcb on Xvfb)",
            IdleWakeups(programArgs("velodra-idle-x", false, {"QT_QPA_PLATFORM=xcb", display}),
                        wakeSeconds));
    wakeups.emplace_back(
        "Velodra (offscreen)",
        IdleWakeups(programArgs("velodra-idle", false, {"QT_QPA_PLATFORM=offscreen"}),
                    wakeSeconds));
    if (haveAudacious && xvfb.Ok()) {
        wakeups.emplace_back(
            "audacious (its default window)",
            IdleWakeups(audaciousArgs("audacious-window", display, {}), wakeSeconds));
        wakeups.emplace_back(
            "audacious --qt",
            IdleWakeups(audaciousArgs("audacious-qt", display, {"--qt"}), wakeSeconds));
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
                "buffer %d ms in %d ms pieces; the defaults are the output's own); programs on "
                "%s\n\n",
                seconds, options.BufferTimeMs, options.LatencyTimeMs,
                bus.Ok() ? "a private session bus" : "no session bus");
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
    if (program.Player > 0 && audacious.Player > 0)
        std::printf("target: the whole program at most the headless reference: %.2f%% against "
                    "%.2f%%: %s\n",
                    program.Player, audacious.Player,
                    program.Player <= audacious.Player ? "met" : "NOT MET");
    else
        std::printf("target: the whole program at most the headless reference: not measured\n");

    // Thread by thread: the scheduler's time of each thread alive at the end of a round (one
    // that ended within it is in the total only).
    auto threads = [](const char* label, const TCpu& c) {
        if (c.Player < 0) return;
        std::vector<std::pair<double, std::string>> rows;
        for (const auto& [name, share] : c.Threads)
            rows.emplace_back(share, name);
        std::sort(rows.rbegin(), rows.rend());
        std::printf("\n%s by thread (total %.2f%%):  %% of one core   wake-ups a second\n", label,
                    c.Player);
        double listed = 0, rest = 0, restWakeups = 0;
        int others = 0;
        for (const auto& [share, name] : rows) {
            const double woken = c.Wakeups.count(name) ? c.Wakeups.at(name) : 0;
            if (share >= 0.005 || woken >= 0.5) {
                std::printf("  %-32s %6.2f%% %12.1f\n", name.c_str(), share, woken);
                listed += share;
            } else {
                rest += share;
                restWakeups += woken;
                ++others;
            }
        }
        if (others > 0) std::printf("  %-32s %6.2f%% %12.1f\n", "(the rest)", rest, restWakeups);
        std::printf("  %-32s %6.2f%%\n", "(threads ended since)",
                    std::max(0.0, c.Player - listed - rest));
    };
    threads("Velodra program", program);
    threads("audacious -H", audacious);

    std::printf("\nidle wake-ups a second (voluntary context switches over %.0f s), the window "
                "shown, nothing playing:\n%-34s %10s %12s\n",
                wakeSeconds, "", "main thread", "all threads");
    for (const auto& [label, w] : wakeups) {
        if (w.Ui < 0)
            std::printf("%-34s %10s\n", label.c_str(), "did not run");
        else
            std::printf("%-34s %10.1f %12.1f\n", label.c_str(), w.Ui, w.All);
    }
    // The target: the program's window wakes no more often than the reference's beside it.
    const auto find = [&](const char* label) {
        for (const auto& [l, w] : wakeups)
            if (l == label && w.Ui >= 0) return w.All;
        return -1.0;
    };
    if (const double mine = find("Velodra (xcb on Xvfb)"),
        ref = find("audacious (its default window)");
        mine >= 0 && ref > 0)
        std::printf("%-34s %10s %11.2fx  (target: at most 1.0x)\n",
                    "ratio, Velodra / audacious window", "", mine / ref);
    if (!xvfb.Ok())
        std::printf("(no Xvfb: the reference's window was not measured)\n");
    else if (!haveAudacious)
        std::printf("(audacious is not installed)\n");

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
