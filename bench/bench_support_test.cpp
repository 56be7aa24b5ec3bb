// The benchmarks' measures against what a thread of this test is known to have done, and their
// helper programs' lives: a slip of a unit or a field there would misreport every figure quietly.
#include "BenchSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(BenchSupport, ThreadTableHasEachThreadsProcessorTimeAndWakeups) {
    const pid_t self = getpid();
    const double process0 = bench::ProcessCpuSeconds(self);
    const auto before = bench::Threads(self);
    std::promise<double> worked;
    std::promise<void> looked;
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "known work");
        const double start = bench::ThreadCpuMs();
        while (bench::ThreadCpuMs() - start < 200) {
        }
        for (int i = 0; i < 20; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        worked.set_value(bench::ThreadCpuMs() / 1e3);
        looked.get_future().wait(); // an ended thread leaves the table
    });
    const double spent = worked.get_future().get();
    const auto after = bench::Threads(self);
    looked.set_value();
    worker.join();

    const auto seconds = bench::ByName(self, before, after, &bench::TThread::Seconds);
    const auto wakeups = bench::ByName(self, before, after, &bench::TThread::Wakeups);
    ASSERT_EQ(seconds.count("known work"), 1u);
    EXPECT_NEAR(seconds.at("known work"), spent, 0.1 * spent + 0.005);
    EXPECT_GE(wakeups.at("known work"), 20);
    const auto main = seconds.lower_bound("main thread (");
    ASSERT_NE(main, seconds.end());
    EXPECT_EQ(main->first.rfind("main thread (", 0), 0u) << main->first;
    // The process's clock keeps what its ended threads ran.
    EXPECT_GE(bench::ProcessCpuSeconds(self) - process0, 0.95 * spent);
}

TEST(BenchSupport, ProcessClockOfAnEndedProcessIsMinusOne) {
    const pid_t pid = testsupport::Spawn({"true"});
    ASSERT_GT(pid, 0);
    testsupport::EndProcess(pid);
    EXPECT_EQ(bench::ProcessCpuSeconds(pid), -1);
}

TEST(BenchSupport, DaemonGivesItsFirstLineAndEndsWithTheObject) {
    pid_t pid = -1;
    {
        const bench::TDaemon daemon({"sh", "-c", "echo ready; echo more; exec sleep 60"});
        ASSERT_TRUE(daemon.Ok());
        EXPECT_EQ(daemon.Line, "ready");
        pid = daemon.ProcessId();
        EXPECT_EQ(kill(pid, 0), 0);
    }
    EXPECT_NE(kill(pid, 0), 0) << "still running";
    // Not installed, or said nothing: no daemon.
    for (const char* program : {"velodra-no-such-program", "true"})
        EXPECT_FALSE(bench::TDaemon({program}).Ok()) << program;
}

} // namespace
