// POSIX priorities become per-thread nice values relative to the main thread.
#include "threads/ThreadDetached.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <sys/resource.h>
#include <unistd.h>

using namespace vantor;

namespace {

struct NiceProbe : ThreadDetached {
    explicit NiceProbe(std::promise<int>& result) : result_(result) {}
    void Entry() override { result_.set_value(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))); }
    std::promise<int>& result_;
};

int niceOfThreadWith(uint32_t priority, bool setIt = true) {
    std::promise<int> result;
    auto future = result.get_future();
    auto* probe = new NiceProbe(result);
    if (setIt) probe->setPriority(priority);
    EXPECT_TRUE(probe->start());
    EXPECT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    return future.get();
}

} // namespace

TEST(ThreadPriorityPosix, LowerLevelsAreAlwaysApplied) {
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    EXPECT_EQ(niceOfThreadWith(20), std::min(19, base + 10));
    EXPECT_EQ(niceOfThreadWith(0, false), std::min(19, base + 10)); // never set: lowest
    EXPECT_EQ(niceOfThreadWith(40), std::min(19, base + 5));
    EXPECT_EQ(niceOfThreadWith(60), base);
    EXPECT_EQ(niceOfThreadWith(101), base);
}

TEST(ThreadPriorityPosix, RaisedLevelsGoNoHigherThanAllowed) {
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    const int above = niceOfThreadWith(80);
    const int highest = niceOfThreadWith(100);
    EXPECT_LE(above, base);
    EXPECT_GE(above, std::max(-20, base - 5));
    EXPECT_LE(highest, above);
    EXPECT_GE(highest, std::max(-20, base - 10));
}
