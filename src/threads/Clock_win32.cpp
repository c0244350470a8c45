#include "threads/Clock.h"
#include "log/Log.h"

#include <windows.h>
#include <mmsystem.h>

#include <mutex>

namespace vantor {

namespace {

// Read once; the frequency is fixed at boot.
double counterFrequency() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        if (!QueryPerformanceFrequency(&f) || f.QuadPart == 0) return 1.0;
        return static_cast<double>(f.QuadPart);
    }();
    return frequency;
}

double counterNow() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart);
}

} // namespace

double secondsClock() {
    static std::once_flag reported;
    std::call_once(reported, [] {
        logInfo("QueryPerformanceFrequency freq:", static_cast<long long>(counterFrequency()));
    });
    return counterNow() / counterFrequency();
}

double millisecondClock() {
    return counterNow() * 1000.0 / counterFrequency();
}

uint32_t multimediaMillis() {
    return static_cast<uint32_t>(timeGetTime());
}

uint32_t currentThreadId() {
    return static_cast<uint32_t>(GetCurrentThreadId());
}

} // namespace vantor
