#pragma once
// The one polling wait of the tests. The gui tests' main sets PollHook to process Qt's events,
// so a wait there keeps windows, timers and queued calls going.
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

inline std::function<void()>& PollHook() {
    static std::function<void()> hook;
    return hook;
}

// Polls pred every 10 ms until it holds; false once the time limit has passed.
inline bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (PollHook()) PollHook()();
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (PollHook()) PollHook()();
    return pred();
}

} // namespace testsupport
