#include "player/BackgroundJob.h"

#include <condition_variable>
#include <mutex>

struct TBackgroundJob::TLink {
    std::mutex Mutex;
    std::condition_variable Ended;
    QObject* Target = nullptr;
    bool Finished = false;
};

TBackgroundJob::TBackgroundJob(QObject* target, std::function<void()> work,
                               std::function<void()> done)
    : Link(std::make_shared<TLink>()) {
    Link->Target = target;
    Thread = std::thread([link = Link, work = std::move(work), done = std::move(done)] {
        work();
        const std::lock_guard lock(link->Mutex);
        link->Finished = true;
        // Posted while the target listens; Qt drops what is posted to an object it deletes.
        if (link->Target) QMetaObject::invokeMethod(link->Target, done, Qt::QueuedConnection);
        link->Ended.notify_all();
    });
}

TBackgroundJob::~TBackgroundJob() {
    Release(std::chrono::seconds(2));
}

void TBackgroundJob::Release(std::chrono::milliseconds wait) {
    if (!Thread.joinable()) return;
    bool finished = false;
    {
        std::unique_lock lock(Link->Mutex);
        Link->Target = nullptr;
        finished = Link->Ended.wait_for(lock, wait, [this] { return Link->Finished; });
    }
    if (finished)
        Thread.join();
    else
        Thread.detach();
}
