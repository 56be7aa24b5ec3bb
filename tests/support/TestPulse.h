#pragma once
// A private PulseAudio server whose only sink is a null sink, and a recorder of that sink's
// monitor, for the tests and benchmarks that must hear what is played. The server lives in a
// temporary runtime folder of its own, so that runs at the same time never meet.
#include "support/TestAudio.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

using TSteady = std::chrono::steady_clock;

// Starts a program with its output into a pipe (or /dev/null); the pid, or -1.
inline pid_t Spawn(const std::vector<std::string>& args, int* readEnd = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (readEnd) {
        if (pipe(fds) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (readEnd) {
        close(fds[1]);
        *readEnd = fds[0];
    }
    return pid;
}

inline void EndProcess(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// CPU time of a process (user + system) in seconds, from /proc; -1 when it is gone.
inline double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip; // state .. cmajflt: fields 3 to 13
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class TPulseServer {
public:
    static constexpr const char* Sink = "velodra_null";

    TPulseServer() : Dir("velodra-pulse") {
        // Clients find the server through this variable; nothing else of the user's is touched.
        setenv("PULSE_RUNTIME_PATH", (Dir / "pulse").c_str(), 1);
        const std::string cmd = "HOME='" + Dir.Path.string() + "' XDG_CONFIG_HOME='" +
                                Dir.Path.string() +
                                "' pulseaudio --daemonize=yes --exit-idle-time=-1 -n "
                                "--load='module-null-sink sink_name=velodra_null rate=44100' "
                                "--load='module-native-protocol-unix auth-anonymous=1' "
                                "--log-target=file:'" +
                                (Dir / "pulse.log") + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return;
        Running = WaitFor([] { return std::system("pactl info >/dev/null 2>&1") == 0; },
                          std::chrono::seconds(5));
    }
    ~TPulseServer() {
        // A server that will not go is left to its own idle timeout.
        if (Running && std::system("pulseaudio --kill >/dev/null 2>&1") != 0) Running = false;
        unsetenv("PULSE_RUNTIME_PATH");
    }
    TPulseServer(const TPulseServer&) = delete;
    TPulseServer& operator=(const TPulseServer&) = delete;

    bool Ok() const { return Running; }
    pid_t Pid() const {
        std::ifstream in(Dir / "pulse/pid");
        pid_t pid = -1;
        in >> pid;
        return pid;
    }
    // The server's indices of its playback streams, playing or corked.
    static std::vector<int> SinkInputs() {
        std::vector<int> ids;
        if (FILE* p = popen("pactl list short sink-inputs 2>/dev/null", "r")) {
            int id = 0;
            char rest[512];
            while (std::fscanf(p, "%d", &id) == 1) {
                ids.push_back(id);
                if (!std::fgets(rest, sizeof rest, p)) break;
            }
            pclose(p);
        }
        return ids;
    }

private:
    TTempDir Dir;
    bool Running = false;
};

// Records the null sink's monitor (left channel, 44.1 kHz) with parec, read every few ms, and
// keeps when each piece arrived, so that a sample can be placed in time.
class TMonitorRecorder {
public:
    static constexpr int Rate = 44100;
    static constexpr int Loud = 300; // well above the encoders' noise, far below the tones

    TMonitorRecorder() {
        Pid = Spawn({"parec", "-d", std::string(TPulseServer::Sink) + ".monitor", "--raw",
                     "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=5"},
                    &Fd);
        if (Pid > 0) Reader = std::thread([this] { Read(); });
        // The server starts a recording with a little silence; wait until it flows.
        WaitFor([this] { return Frames() > Rate / 20; }, std::chrono::seconds(3));
    }
    ~TMonitorRecorder() {
        EndProcess(Pid);
        if (Reader.joinable()) Reader.join();
        if (Fd >= 0) close(Fd);
    }
    TMonitorRecorder(const TMonitorRecorder&) = delete;
    TMonitorRecorder& operator=(const TMonitorRecorder&) = delete;

    std::size_t Frames() const {
        std::lock_guard lock(Mutex);
        return Samples.size();
    }

    // ms from t to the first loud sample heard after it; none when nothing was heard.
    std::optional<double> SoundAfter(TSteady::time_point t) const {
        std::lock_guard lock(Mutex);
        for (std::size_t i = FrameAt(t); i < Samples.size(); ++i)
            if (std::abs(Samples[i]) > Loud) return Ms(TimeOf(i) - t);
        return std::nullopt;
    }

    // The longest run of silence between the first and the last sound within [from, to].
    double LongestSilenceMs(TSteady::time_point from, TSteady::time_point to) const {
        std::lock_guard lock(Mutex);
        std::size_t run = 0, longest = 0;
        bool heard = false;
        for (std::size_t i = FrameAt(from), end = FrameAt(to); i < end; ++i) {
            if (std::abs(Samples[i]) > Loud) {
                if (heard) longest = std::max(longest, run);
                heard = true;
                run = 0;
            } else {
                ++run;
            }
        }
        return longest * 1000.0 / Rate;
    }

    // The left channel heard within [from, to].
    std::vector<std::int16_t> Between(TSteady::time_point from, TSteady::time_point to) const {
        std::lock_guard lock(Mutex);
        return {Samples.begin() + FrameAt(from), Samples.begin() + FrameAt(to)};
    }

    // Root mean square level in [from, to], in dB below full scale.
    double LevelDb(TSteady::time_point from, TSteady::time_point to) const {
        double sum = 0;
        const std::vector<std::int16_t> heard = Between(from, to);
        for (const std::int16_t s : heard)
            sum += static_cast<double>(s) * s;
        return 10 * std::log10(std::max(sum / (heard.size() + 1.0), 1e-9) / (32768.0 * 32768.0));
    }

    // When the tone first rose above hz after t (zero crossings counted over 10 ms windows).
    std::optional<TSteady::time_point> ToneAbove(double hz, TSteady::time_point t) const {
        std::lock_guard lock(Mutex);
        constexpr std::size_t window = Rate / 100;
        for (std::size_t i = FrameAt(t); i + window < Samples.size(); i += window / 2) {
            int crossings = 0;
            bool loud = false;
            for (std::size_t j = i + 1; j < i + window; ++j) {
                crossings += (Samples[j - 1] < 0) != (Samples[j] < 0);
                loud = loud || std::abs(Samples[j]) > Loud;
            }
            if (loud && crossings * 50.0 > hz) return TimeOf(i);
        }
        return std::nullopt;
    }

private:
    static double Ms(TSteady::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    }

    void Read() {
        std::array<std::int16_t, 2 * 441> buf{};
        std::size_t have = 0; // bytes of a partial frame carried over
        auto* bytes = reinterpret_cast<char*>(buf.data());
        for (;;) {
            const ssize_t n = read(Fd, bytes + have, sizeof buf - have);
            if (n <= 0) return;
            const auto now = TSteady::now();
            have += static_cast<std::size_t>(n);
            const std::size_t frames = have / 4;
            std::lock_guard lock(Mutex);
            for (std::size_t f = 0; f < frames; ++f)
                Samples.push_back(buf[2 * f]);
            Arrivals.push_back({Samples.size(), now});
            have %= 4;
            std::copy_n(bytes + frames * 4, have, bytes);
        }
    }

    // A sample's time: when its piece arrived, less what followed it in that piece.
    TSteady::time_point TimeOf(std::size_t frame) const {
        auto a = std::upper_bound(Arrivals.begin(), Arrivals.end(), frame,
                                  [](std::size_t f, const TArrival& x) { return f < x.EndFrame; });
        if (a == Arrivals.end()) return TSteady::now();
        const double back = static_cast<double>(a->EndFrame - frame) / Rate;
        return a->At -
               std::chrono::duration_cast<TSteady::duration>(std::chrono::duration<double>(back));
    }
    std::size_t FrameAt(TSteady::time_point t) const {
        std::size_t lo = 0, hi = Samples.size();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (TimeOf(mid) < t)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    struct TArrival {
        std::size_t EndFrame;
        TSteady::time_point At;
    };
    pid_t Pid = -1;
    int Fd = -1;
    std::thread Reader;
    mutable std::mutex Mutex;
    std::vector<std::int16_t> Samples;
    std::vector<TArrival> Arrivals;
};

} // namespace testsupport
