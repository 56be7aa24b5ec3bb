#pragma once
// What several benchmarks share: the calling thread's processor time, and the programs they run
// beside them for the whole run (a session bus of their own, so that nothing reaches a running
// copy or the user's desktop; a virtual display).
#include "support/TestPulse.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

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
