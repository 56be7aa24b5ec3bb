// How long the UI thread is held in one go by a change of track, in the program as it runs: the
// window (offscreen), the session and the player with the GStreamer device, on generated albums
// of local MP3 files. For each kind of change (the end of a track, F7, Ctrl+F7, a seek by the
// session, and the first open after the start-up), from the command until the new file plays
// and a moment after (the window shows it):
// - held: the longest the event loop left a 1 ms probe timer waiting, less the interval and
//   less the time the UI thread waited for a processor (the scheduler's count): how long the
//   program itself kept a key press or a repaint waiting, running or blocked (on a disk too);
// - unanswered: the same with that wait, and the wait (what a busy machine added);
// - one delivery: the longest outermost event delivery (QApplication::notify) less the wait,
//   with its processor time and what it was.
// The target: held under 16 ms at the worst.
//
// Usage: bench_changes [changes of each kind, default 50] [--pulse]
// The output is a fakesink keeping real time; --pulse plays on a private PulseAudio server's
// null sink instead, where GStreamer's pulsesink can abort the program when a file is closed
// while the one queued after it is being set up. Exits with 1 when a change did not play or a
// message was reported.
#include "BenchSupport.h"
#include "platform/ErrorReport.h"
#include "platform/IniFile.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/TestPulse.h"
#include "ui/Desktop.h"
#include "ui/UFormVelodra.h"

#include <QApplication>
#include <QMetaEnum>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The time the UI thread has waited for a processor so far, in ms: the scheduler's count, from
// the file opened on that thread (0 where the kernel keeps none). What a busy machine adds to a
// stretch, not the program's doing.
double WaitedMs(int schedstat) {
    char text[128] = {};
    if (schedstat < 0 || pread(schedstat, text, sizeof text - 1, 0) <= 0) return 0;
    unsigned long long ran = 0, waited = 0;
    return std::sscanf(text, "%llu %llu", &ran, &waited) == 2 ? static_cast<double>(waited) / 1e6
                                                              : 0;
}

// The most the UI thread was held within one measured stretch, in ms.
struct TBlock {
    double Held = 0;       // the longest stretch without serving the probe, less the wait
    double Unanswered = 0; // ...with the wait for a processor
    double Waited = 0;     // ...of which that wait
    double Delivery = 0;   // the longest single delivery, less the wait
    double DeliveryCpu = 0;
    std::string What;     // its event type and receiver
    double ToPlaying = 0; // from the command until the new file played
};

// Times every outermost event delivery on the UI thread, and the gaps between the ticks of a
// 1 ms probe timer, while a stretch is measured.
class TTimedApplication final : public QApplication {
public:
    TTimedApplication(int& argc, char** argv)
        : QApplication(argc, argv), Schedstat(open("/proc/thread-self/schedstat", O_RDONLY)) {}
    ~TTimedApplication() override {
        if (Schedstat >= 0) close(Schedstat);
    }

    bool notify(QObject* receiver, QEvent* e) override {
        if (QThread::currentThread() != thread()) return QApplication::notify(receiver, e);
        if (Depth > 0 || !Measuring) return Nested(receiver, e);
        const QEvent::Type type = e->type();
        const char* cls = receiver->metaObject()->className();
        const QString name = receiver->objectName();
        const double cpu = bench::ThreadCpuMs(), waited = WaitedMs(Schedstat);
        const auto t0 = Clock::now();
        const bool r = Nested(receiver, e);
        const double held = Ms(Clock::now() - t0) - (WaitedMs(Schedstat) - waited);
        if (held > Now.Delivery) {
            Now.Delivery = held;
            Now.DeliveryCpu = bench::ThreadCpuMs() - cpu;
            const char* event = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            Now.What = (event ? std::string(event) : "event " + std::to_string(type)) + " to " +
                       cls + (name.isEmpty() ? "" : " " + name.toStdString());
        }
        return r;
    }

    bool KnowsWaits() const { return Schedstat >= 0; }
    void Begin() {
        Now = {};
        LastProbe = Clock::now();
        LastWaited = WaitedMs(Schedstat);
        Measuring = true;
    }
    TBlock End() {
        Probe(); // the stretch since the last probe counts too
        Measuring = false;
        return Now;
    }
    // The probe timer's tick.
    void Probe() {
        const auto now = Clock::now();
        const double waited = WaitedMs(Schedstat);
        if (Measuring) {
            const double gap = Ms(now - LastProbe) - 1.0, wait = waited - LastWaited;
            Now.Held = std::max(Now.Held, gap - wait);
            if (gap > Now.Unanswered) {
                Now.Unanswered = gap;
                Now.Waited = wait;
            }
        }
        LastProbe = now;
        LastWaited = waited;
    }

private:
    bool Nested(QObject* receiver, QEvent* e) {
        ++Depth;
        const bool r = QApplication::notify(receiver, e);
        --Depth;
        return r;
    }
    int Schedstat;
    int Depth = 0;
    bool Measuring = false;
    TBlock Now;
    Clock::time_point LastProbe;
    double LastWaited = 0;
};

// Runs the event loop (woken at least by the probe) until pred holds; false after limit.
bool Until(const std::function<bool()>& pred, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
void RunFor(Clock::duration d) {
    Until([] { return false; }, d);
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

constexpr double kTargetMs = 16;

void PrintRow(const char* kind, const std::vector<TBlock>& runs, int failed) {
    if (runs.empty()) {
        std::printf("%-22s no change happened (%d failed)\n", kind, failed);
        return;
    }
    std::vector<double> held, playing;
    for (const TBlock& b : runs) {
        held.push_back(b.Held);
        playing.push_back(b.ToPlaying);
    }
    const auto most = [&](double TBlock::*field) {
        return *std::max_element(runs.begin(), runs.end(),
                                 [&](auto& a, auto& b) { return a.*field < b.*field; });
    };
    const TBlock worst = most(&TBlock::Held), unanswered = most(&TBlock::Unanswered),
                 longest = most(&TBlock::Delivery);
    std::printf("%-22s %4zu %7.2f %7.2f   %7.2f %7.2f   %7.2f %6.2f %8.0f   %s\n", kind,
                runs.size(), Median(held), worst.Held, unanswered.Unanswered, unanswered.Waited,
                longest.Delivery, longest.DeliveryCpu, Median(playing),
                worst.Held < kTargetMs ? "met" : "NOT MET");
    std::printf("%-22s longest delivery: %s\n", "", longest.What.c_str());
    if (failed > 0) std::printf("%-22s %d did not play within 10 s\n", "", failed);
}

} // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 50;
    const bool pulseSink = argc > 2 && std::string(argv[2]) == "--pulse";
    testsupport::TTempDir dir("velodra-bench-changes");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir / "config"));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir / "run"));
    std::filesystem::create_directories(dir / "run");
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    std::optional<testsupport::TPulseServer> pulse;
    if (pulseSink) pulse.emplace();
    const bool onPulse = pulse && pulse->Ok();
    if (!onPulse) qputenv("VELODRA_AUDIO_SINK", "fakesink");
    // The media-player interface on a bus of its own, as on a desktop; none without a daemon.
    const bench::TDaemon bus(bench::PrivateBus());
    if (bus.Ok())
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.Line));
    else
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");

    // Six albums of five 3 s tracks, each with a folder picture, and one of two 90 s tracks for
    // the seeks; 192 kbit/s with ID3 tags, as a ripped album has them.
    std::printf("generating the album...\n");
    std::fflush(stdout);
    const auto track = [&](const std::string& folder, int n, double seconds) {
        char name[128];
        std::snprintf(name, sizeof name, "lib/%s/%02d Track %d.mp3", folder.c_str(), n, n);
        const std::string tags = " -metadata title='Track " + std::to_string(n) +
                                 "' -metadata artist='Bench' -metadata album='" + folder +
                                 "' -metadata track=" + std::to_string(n);
        return testsupport::GenerateTone(dir / name, seconds,
                                         "-c:a libmp3lame -b:a 192k -id3v2_version 3" + tags, 44100,
                                         2, 300 + 40 * n);
    };
    constexpr int kAlbums = 6, kTracks = 5;
    for (int a = 1; a <= kAlbums; ++a) {
        const std::string folder = "Album " + std::to_string(a);
        for (int n = 1; n <= kTracks; ++n)
            if (!track(folder, n, 3.0)) {
                std::fprintf(stderr, "could not generate the album (ffmpeg with libmp3lame)\n");
                return 1;
            }
        const std::string picture = "ffmpeg -nostdin -y -loglevel error -f lavfi -i "
                                    "testsrc=size=1200x1200 -frames:v 1 '" +
                                    (dir / ("lib/" + folder + "/folder.jpg")) + "'";
        if (std::system(picture.c_str()) != 0) return 1;
    }
    for (int n = 1; n <= 2; ++n)
        if (!track("Long", n, 90.0)) return 1;
    const int longFolder = kAlbums; // "Long" sorts after the albums
    // The last run left the long track playing: the start-up resumes it (the settings file is
    // named after the program).
    testsupport::WriteFile(SettingsFileName().toStdString(),
                           "[Last]\nRoot=" + (dir / "lib") +
                               "\nFolder=" + std::to_string(longFolder) + "\nFile=0\nPlaying=1\n");

    // The offscreen platform says on every raise and opacity change that it has none: a cost
    // the program does not have on a desktop.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    TTimedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velodra"));
    QApplication::setQuitOnLastWindowClosed(false);
    int messages = 0;
    SetMessageHandler([&](const TMessage& m) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(m.Text));
    });
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] { app.Probe(); });
    probe.start(1);

    // As the program makes them.
    auto formVelodra = std::make_unique<TFormVelodra>();
    auto formPlayer = std::make_unique<TFormPlayer>();
    auto session = std::make_unique<TSession>(*formPlayer);
    formVelodra->SetSession(session.get());
    auto desktop = StartDesktopServices(*session, QString::fromStdString(dir / "run/Velodra.lock"));
    TFormVelodra& window = *formVelodra;
    TSession& s = *session;
    const TPlaybackEngine& engine = formPlayer->Engine();
    int starts = 0;
    // What the measured commands are posted to, so that a delivery of one is named.
    QObject commands;
    commands.setObjectName(QStringLiteral("(the command: key or call, session, window)"));
    QObject::connect(&s, &TSession::PlayStarted, [&] { ++starts; });

    // The new file plays: the selection moved, the session started it, the device has run
    // every command. Then a moment more, for the window to show it.
    const auto playing = [&] {
        return s.State() == TPlayState::Playing && s.FileOpen() && !engine.Busy() &&
               engine.Mode() == TMPModes::mpPlaying;
    };
    const auto measure = [&](const std::function<void()>& command,
                             const std::function<bool()>& done, std::vector<TBlock>& into,
                             int& failed) {
        const auto t0 = Clock::now();
        app.Begin();
        if (command) QMetaObject::invokeMethod(&commands, command, Qt::QueuedConnection);
        if (!Until(done, 10s)) {
            app.End();
            ++failed;
            return;
        }
        const double toPlaying = Ms(Clock::now() - t0);
        RunFor(100ms);
        TBlock b = app.End();
        b.ToPlaying = toPlaying;
        into.push_back(b);
    };
    const auto moved = [&](int folder, int file, int before) {
        return [&, folder, file, before] {
            return (s.FolderIndex() != folder || s.FileIndex() != file) && starts > before &&
                   playing();
        };
    };
    // Outside the measured stretches: a posted command, waited for.
    const auto go = [&](const std::function<void()>& command) {
        const int before = starts;
        QMetaObject::invokeMethod(&app, command, Qt::QueuedConnection);
        return Until([&] { return starts > before && playing(); }, 10s);
    };

    // --- the start-up: from the window shown until the resumed file plays
    std::vector<TBlock> startUp, autoEnd, nextFile, nextFolder, seeks;
    int startFailed = 0, autoFailed = 0, fileFailed = 0, folderFailed = 0, seekFailed = 0;
    window.show();
    measure(
        {}, [&] { return starts > 0 && playing(); }, startUp, startFailed);
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        std::fprintf(stderr, "the window never became active\n");
        return 1;
    }

    const auto phase = [](const char* what) {
        std::printf("%s...\n", what);
        std::fflush(stdout);
    };
    // --- seeks on the long track, playing
    phase("seeks");
    for (int i = 0; i < changes && startFailed == 0; ++i) {
        const int to = 5000 + (i * 7919) % 80000;
        measure([&, to] { s.Seek(to); },
                [&, to] { return playing() && std::abs(s.Position() - to) < 1000; }, seeks,
                seekFailed);
        RunFor(200ms);
    }

    // --- F7 and Ctrl+F7, each a moment after the file before began
    s.SetRepeat(true);
    phase("F7");
    for (int i = 0; i < changes; ++i) {
        measure([&] { QTest::keyClick(&window, Qt::Key_F7); },
                moved(s.FolderIndex(), s.FileIndex(), starts), nextFile, fileFailed);
        RunFor(300ms);
    }
    phase("Ctrl+F7");
    for (int i = 0; i < changes; ++i) {
        if (s.FolderIndex() >= longFolder) go([&] { s.SelectFolder(0); });
        measure([&] { QTest::keyClick(&window, Qt::Key_F7, Qt::ControlModifier); },
                moved(s.FolderIndex(), s.FileIndex(), starts), nextFolder, folderFailed);
        RunFor(300ms);
    }

    // --- the end of a track: measured from 700 ms before its end; the long folder is left
    // for the first album, unmeasured
    phase("the end of a track");
    if (s.FolderIndex() != 0) go([&] { s.SelectFolder(0); });
    for (int i = 0; i < changes; ++i) {
        if (s.FolderIndex() >= longFolder) go([&] { s.SelectFolder(0); });
        if (!Until([&] { return s.Position() >= s.Info().Duration - 700; }, 10s)) {
            ++autoFailed;
            continue;
        }
        measure({}, moved(s.FolderIndex(), s.FileIndex(), starts), autoEnd, autoFailed);
    }

    std::printf("\nbench_changes: the UI thread around a change of track; %s; ms\n",
                onPulse     ? "GStreamer on a private PulseAudio null sink"
                : pulseSink ? "GStreamer on a fakesink (no PulseAudio server)"
                            : "GStreamer on a fakesink");
    std::printf("session bus (media-player interface): %s; load average before: ",
                SessionBusExpected() ? "yes" : "none");
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        double load[3] = {};
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) == 3)
            std::printf("%.2f %.2f %.2f (cores: %u)", load[0], load[1], load[2],
                        std::thread::hardware_concurrency());
        std::fclose(f);
    }
    std::printf("\n\n%-22s %4s %15s   %15s   %14s %8s   %s\n", "", "", "held", "unanswered",
                "one delivery", "to play", "target");
    std::printf("%-22s %4s %7s %7s   %7s %7s   %7s %6s %8s   %s\n", "change", "n", "median",
                "worst", "worst", "waited", "worst", "ran", "median", "held < 16 ms");
    PrintRow("first open (start-up)", startUp, startFailed);
    PrintRow("end of track", autoEnd, autoFailed);
    PrintRow("F7 (Next File)", nextFile, fileFailed);
    PrintRow("Ctrl+F7 (Next Folder)", nextFolder, folderFailed);
    PrintRow("seek (TSession::Seek)", seeks, seekFailed);
    std::printf(
        "(unanswered: the longest the event loop left a 1 ms probe timer waiting, less 1 ms; "
        "waited: the part of it the UI thread waited for a processor, by the scheduler's count; "
        "held: unanswered less that wait, the longest in each change; one delivery: the longest "
        "outermost QApplication::notify less the wait, and the processor time it ran; each "
        "from the command, or from 700 ms before the end of the track, until the new file plays "
        "and 100 ms more)\n");
    if (!app.KnowsWaits())
        std::printf("(this kernel keeps no scheduler counts: held is the whole unanswered time)\n");
    if (messages > 0) std::printf("%d messages were reported (see stderr)\n", messages);

    // The close, as the program's.
    window.close();
    desktop.reset();
    SetMessageHandler({});
    window.SetSession(nullptr);
    session.reset();
    formPlayer.reset();
    formVelodra.reset();
    // A change that never played is a fault, of the program or of this benchmark.
    const bool complete = startFailed + autoFailed + fileFailed + folderFailed + seekFailed == 0;
    return complete && messages == 0 ? 0 : 1;
}
