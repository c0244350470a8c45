// WorkerChecks: checks made on a thread other than the test's own, reported on the test's thread.
//
// A GoogleTest assertion on another thread is only reliably counted with care (and ASSERT_ there
// returns from the worker's function, not from the test), so a worker records its failed checks
// here and the test asserts them after joining it:
//
//   #include "support/WorkerChecks.h"
//   vantor::test::WorkerChecks checks;
//   std::thread audio([&] { ...; if (!WORKER_CHECK(checks, e.frameOffset >= 0)) return; ... });
//   audio.join();
//   EXPECT_TRUE(checks.passed());   // lists every failed check with its file and line
//
// check() takes no lock and allocates nothing while the checks hold, so a real-time loop may use it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vantor::test {

class WorkerChecks {
public:
    // Returns the condition; a false one is recorded with its text and place.
    bool check(bool condition, const char* text, const char* file, int line) {
        if (condition) return true;
        failed_.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard<std::mutex> guard(lock_);
        // Keep the first few: a check in a loop can fail every time round.
        if (failures_.size() < kKept)
            failures_.push_back(std::string(file) + ":" + std::to_string(line) + ": " + text);
        return false;
    }

    uint64_t failedCount() const { return failed_.load(std::memory_order_relaxed); }

    // For EXPECT_TRUE / ASSERT_TRUE on the test's thread, after the workers are joined.
    ::testing::AssertionResult passed() const {
        const uint64_t failed = failedCount();
        if (failed == 0) return ::testing::AssertionSuccess();
        std::lock_guard<std::mutex> guard(lock_);
        ::testing::AssertionResult result = ::testing::AssertionFailure();
        result << failed << " check(s) failed on a worker thread:";
        for (const std::string& failure : failures_)
            result << "\n  " << failure;
        return result;
    }

private:
    static constexpr size_t kKept = 10;
    std::atomic<uint64_t> failed_{0};
    mutable std::mutex lock_;
    std::vector<std::string> failures_;
};

} // namespace vantor::test

#define WORKER_CHECK(checks, condition)                                                                      \
    (checks).check(static_cast<bool>(condition), #condition, __FILE__, __LINE__)
