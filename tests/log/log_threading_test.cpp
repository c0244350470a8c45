// Lines of concurrent threads never interleave, and a logger closing while other threads still
// log ends its file with the marker and nothing after it.
#include "log/ConsoleLogger.h"
#include "log/Log.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

using namespace vantor;
using vantor::test::LogCapture;
using vantor::test::LogEntry;

TEST(LogThreading, LinesOfConcurrentThreadsStayWhole) {
    LogCapture log;
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string padding(40 + t * 20, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                logInfo("T", t, "#", i, ":", padding);
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::map<int, int> nextIndex;
    auto lines = log.rawLines();
    ASSERT_EQ(lines.size(), 3u + kThreads * kLines);
    for (size_t i = 3; i < lines.size(); ++i) {
        LogEntry e;
        ASSERT_TRUE(LogCapture::parse(lines[i], e)) << lines[i];
        int t = -1, index = -1;
        ASSERT_EQ(std::sscanf(e.message.c_str(), "T%d#%d:", &t, &index), 2) << e.message;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(e.message, "T" + std::to_string(t) + "#" + std::to_string(index) + ":" +
                                 std::string(40 + t * 20, static_cast<char>('a' + t)));
        // Each thread's lines arrive in its own order.
        EXPECT_EQ(index, nextIndex[t]++);
    }
}

TEST(LogThreading, NoLineAfterTheMarkerWhileAnotherThreadLogs) {
    for (int round = 0; round < 20; ++round) {
        auto log = std::make_unique<LogCapture>();
        std::atomic<bool> stop{false};
        std::atomic<int> written{0};
        std::thread writer([&] {
            while (!stop.load()) {
                logWarning("streamer still writing ", written.load());
                written.fetch_add(1);
            }
        });
        while (written.load() < 5)
            std::this_thread::yield();
        log->close(); // closes while the writer keeps going
        int atClose = written.load();
        while (written.load() < atClose + 20)
            std::this_thread::yield();
        stop = true;
        writer.join();

        std::string bytes = log->contents();
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.back(), '@') << "round " << round;
        EXPECT_EQ(bytes.find('@'), bytes.size() - 1);
        // Every line before the marker is whole.
        auto lines = log->rawLines();
        ASSERT_GE(lines.size(), 6u);
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            LogEntry e;
            EXPECT_TRUE(LogCapture::parse(lines[i], e)) << lines[i];
        }
        EXPECT_EQ(lines.back(), "@");
    }
    EXPECT_FALSE(logIsOpen());
}
