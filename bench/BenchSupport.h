#pragma once
// What several benchmarks share: processor time and wake-ups of this thread, of a process and of
// each of its threads, and the programs they run beside them for the whole run (a session bus of
// their own, so that nothing reaches a running copy or the user's desktop; a virtual display).
#include "support/TestPulse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The middle value (the mean of the two middle ones for an even count); -1 for none.
inline double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The calling thread's processor time in ms: what a step costs, without the time other programs
// on a shared machine take from it.
inline double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

inline bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A process's processor time to the nanosecond, its finished threads included; -1 when gone.
inline double ProcessCpuSeconds(pid_t pid) {
    clockid_t clock{};
    timespec ts{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0) return -1;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Each live thread of a process by id: its name, processor seconds (the scheduler's nanosecond
// count; 0 where the kernel keeps none) and voluntary context switches (each one a sleep the
// thread was woken from).
struct TThread {
    std::string Name;
    double Seconds = 0;
    double Wakeups = 0;
};
inline std::map<long, TThread> Threads(pid_t pid) {
    std::map<long, TThread> threads;
    std::error_code ec;
    const std::filesystem::path task = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(task, ec)) {
        TThread t;
        t.Name = ReadAll(entry.path() / "comm");
        if (!t.Name.empty() && t.Name.back() == '\n') t.Name.pop_back();
        std::istringstream(ReadAll(entry.path() / "schedstat")) >> t.Seconds;
        t.Seconds /= 1e9;
        std::istringstream status(ReadAll(entry.path() / "status"));
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                t.Wakeups = std::atof(line.c_str() + line.find(':') + 1);
        threads[std::atol(entry.path().filename().c_str())] = t;
    }
    return threads;
}

// What each thread did between two readings, summed by name (the main thread under its own;
// the program's is its UI thread).
inline std::map<std::string, double> ByName(pid_t pid, const std::map<long, TThread>& before,
                                            const std::map<long, TThread>& after,
                                            double TThread::*field) {
    std::map<std::string, double> sums;
    for (const auto& [tid, t] : after) {
        const auto b = before.find(tid);
        const double was = b == before.end() ? 0.0 : b->second.*field;
        sums[tid == pid ? "main thread (" + t.Name + ")" : t.Name] += t.*field - was;
    }
    return sums;
}

// Started when it is installed, ended with the object; Line is the first line it printed (a
// bus address, a display number).
class TDaemon {
public:
    explicit TDaemon(const std::vector<std::string>& args) {
        if (args.empty() || !OnPath(args.front())) return;
        int fd = -1;
        Pid = testsupport::Spawn(args, &fd);
        if (Pid <= 0) return;
        Out = fdopen(fd, "r"); // kept open: a daemon that writes on must not meet a closed pipe
        char line[512] = {};
        if (Out && std::fgets(line, sizeof line, Out)) Line = line;
        while (!Line.empty() && Line.back() == '\n')
            Line.pop_back();
    }
    ~TDaemon() {
        testsupport::EndProcess(Pid);
        if (Out) std::fclose(Out);
    }
    TDaemon(const TDaemon&) = delete;
    TDaemon& operator=(const TDaemon&) = delete;

    bool Ok() const { return Pid > 0 && !Line.empty(); }
    pid_t ProcessId() const { return Pid; }
    std::string Line;

private:
    pid_t Pid = -1;
    FILE* Out = nullptr;
};

inline std::vector<std::string> PrivateBus() {
    return {"dbus-daemon", "--session", "--nofork", "--print-address=1"};
}
inline std::vector<std::string> VirtualDisplay() {
    return {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"};
}

} // namespace bench
