#pragma once
// Work on a thread of its own whose answer reaches its target only while the target listens.
// A close waits for it a bounded time and then leaves it behind (a scan in a hung network mount
// must not hang the close): so the work owns everything it touches, through shared pointers,
// and never refers to its target.
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class TBackgroundJob {
public:
    // work runs on the new thread; then done runs on target's thread, unless released first.
    TBackgroundJob(QObject* target, std::function<void()> work, std::function<void()> done);
    // Releases, waiting up to two seconds.
    ~TBackgroundJob();
    TBackgroundJob(const TBackgroundJob&) = delete;
    TBackgroundJob& operator=(const TBackgroundJob&) = delete;

    // done will not run; the thread is joined when it ends within wait, else left to end alone.
    void Release(std::chrono::milliseconds wait);

private:
    struct TLink;
    std::shared_ptr<TLink> Link;
    std::thread Thread;
};
