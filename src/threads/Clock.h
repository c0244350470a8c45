// Process clocks and thread identity.
#pragma once

#include <cstdint>

namespace vantor {

// High-resolution monotonic clock in seconds. The first call logs "QueryPerformanceFrequency freq:".
double secondsClock();
// The same counter in milliseconds (no log line). Used by Semaphore::acquireFor.
double millisecondClock();
// The multimedia timer: milliseconds since system start, 32-bit, wrapping (timeGetTime scale).
// Log lines and MIDI arrival times use this scale.
uint32_t multimediaMillis();
// The calling thread's system id.
uint32_t currentThreadId();

} // namespace vantor
