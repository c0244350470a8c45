// The process clocks: monotonic, on the scales they claim, and the one-time frequency line.
#include "support/LogCapture.h"
#include "threads/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace vantor;
using namespace std::chrono_literals;

TEST(Clocks, AdvanceTogetherOnTheirScales) {
    const double s0 = secondsClock();
    const double ms0 = millisecondClock();
    const uint32_t mm0 = multimediaMillis();
    std::this_thread::sleep_for(60ms);
    const double s1 = secondsClock();
    const double ms1 = millisecondClock();
    const uint32_t mm1 = multimediaMillis();
    EXPECT_GE((s1 - s0) * 1000.0, 55.0);
    EXPECT_LT((s1 - s0) * 1000.0, 2000.0);
    EXPECT_GE(ms1 - ms0, 55.0);
    EXPECT_LT(ms1 - ms0, 2000.0);
    EXPECT_NEAR(ms1, s1 * 1000.0, 50.0); // one counter, two units
    const uint32_t mmDelta = mm1 - mm0;  // wraps like timeGetTime
    EXPECT_GE(mmDelta, 50u);
    EXPECT_LT(mmDelta, 2000u);
}

TEST(Clocks, FrequencyIsLoggedOnceAtMost) {
    test::LogCapture first;
    secondsClock();
    secondsClock();
    const size_t lines = first.count("QueryPerformanceFrequency freq:");
    EXPECT_LE(lines, 1u);
    if (lines == 1) {
        auto messages = first.messages();
        ASSERT_FALSE(messages.empty());
        const std::string line = messages.front();
        ASSERT_EQ(line.rfind("QueryPerformanceFrequency freq:", 0), 0u);
        EXPECT_GT(std::stoll(line.substr(31)), 0);
#ifndef _WIN32
        EXPECT_EQ(line, "QueryPerformanceFrequency freq:1000000000");
#endif
    }
    first.close();
    test::LogCapture second;
    secondsClock();
    EXPECT_EQ(second.count("QueryPerformanceFrequency"), 0u);
    EXPECT_EQ(millisecondClock() > 0.0, true);
    EXPECT_EQ(second.count("QueryPerformanceFrequency"), 0u);
}

TEST(Clocks, ThreadIdsAreStablePerThreadAndDistinct) {
    const uint32_t mine = currentThreadId();
    EXPECT_EQ(currentThreadId(), mine);
    EXPECT_NE(mine, 0u);
    uint32_t other = std::async(std::launch::async, [] { return currentThreadId(); }).get();
    EXPECT_NE(other, mine);
    EXPECT_NE(other, 0u);
}
