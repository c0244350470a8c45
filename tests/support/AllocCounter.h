// Counts heap allocations made by the current thread while armed, to prove that real-time paths
// allocate nothing in the steady state.
//
//   #include "support/AllocCounter.h"
//   quorvel::test::AllocCounter::arm();          // start counting on this thread, from 0
//   for (...) graph.process(out, frames);        // code under test, same thread
//   uint64_t n = quorvel::test::AllocCounter::disarm();   // stop; returns the count
//   EXPECT_EQ(n, 0u);
//
// or scoped: { quorvel::test::AllocScope scope; ...; EXPECT_EQ(scope.count(), 0u); }
//
// Only the arming thread's allocations count; other threads are never counted. Keep gtest
// assertions (which allocate) outside the armed stretch, or read count() before them.
//
// What is counted, per build:
// - ASan or TSan (native): every allocation of the sanitizer's allocator (operator new and the
//   malloc family alike), through the sanitizer's allocator hook; the sanitizers keep working.
// - No sanitizer, glibc: operator new in all its forms, and malloc, calloc and realloc.
// - MinGW (tests under Wine): operator new in all its forms.
// countsMalloc() says whether this build sees malloc-family calls.
#pragma once

#include <cstdint>

namespace quorvel::test {

struct AllocCounter {
    static void arm();
    static uint64_t disarm();
    static uint64_t count();
    static bool armed();
    static bool countsMalloc();
};

class AllocScope {
public:
    AllocScope() { AllocCounter::arm(); }
    ~AllocScope() { AllocCounter::disarm(); }
    AllocScope(const AllocScope&) = delete;
    AllocScope& operator=(const AllocScope&) = delete;
    uint64_t count() const { return AllocCounter::count(); }
};

} // namespace quorvel::test
