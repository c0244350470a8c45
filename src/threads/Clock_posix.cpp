// POSIX clocks: CLOCK_MONOTONIC stands in for the performance counter (its unit is the
// nanosecond, so the reported frequency is 1000000000) and CLOCK_BOOTTIME for the multimedia
// timer (time since boot, in milliseconds, truncated to 32 bits like timeGetTime).
#include "threads/Clock.h"
#include "log/Log.h"

#include <mutex>
#include <time.h>
#include <unistd.h>

namespace vantor {

namespace {

constexpr long long kFrequency = 1000000000LL;

long long monotonicNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * kFrequency + ts.tv_nsec;
}

} // namespace

double secondsClock() {
    static std::once_flag reported;
    std::call_once(reported, [] { logInfo("QueryPerformanceFrequency freq:", kFrequency); });
    return static_cast<double>(monotonicNanos()) / static_cast<double>(kFrequency);
}

double millisecondClock() {
    return static_cast<double>(monotonicNanos()) * 1000.0 / static_cast<double>(kFrequency);
}

uint32_t multimediaMillis() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ULL +
                            static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL;
    return static_cast<uint32_t>(ms);
}

uint32_t currentThreadId() {
    return static_cast<uint32_t>(gettid());
}

} // namespace vantor
