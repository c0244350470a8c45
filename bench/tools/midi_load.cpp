// Loads one MIDI file as the player does (read, parse, merge, bars) in a fresh process and prints
// "cpu_seconds events peak_bytes": the processor time of the load, the events the model holds
// (channel events, tempo changes, time signatures) and the most heap the load had in use at once
// (the file's bytes included). bench/mido_compare.py runs it beside mido.
#include "midifile/MIDIFile.h"

#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {
std::atomic<size_t> live{0};
std::atomic<size_t> peak{0};

void* take(size_t n, size_t alignment = 0) {
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (n + alignment - 1) / alignment * alignment)
                  : std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    const size_t now = live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

void give(void* p) {
    if (!p) return;
    live.fetch_sub(malloc_usable_size(p));
    std::free(p);
}
} // namespace

void* operator new(size_t n) {
    return take(n);
}
void* operator new[](size_t n) {
    return take(n);
}
void* operator new(size_t n, std::align_val_t a) {
    return take(n, static_cast<size_t>(a));
}
void* operator new[](size_t n, std::align_val_t a) {
    return take(n, static_cast<size_t>(a));
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return take(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    give(p);
}
void operator delete[](void* p) noexcept {
    give(p);
}
void operator delete(void* p, size_t) noexcept {
    give(p);
}
void operator delete[](void* p, size_t) noexcept {
    give(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    give(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    give(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    give(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    give(p);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s file.mid\n", argv[0]);
        return 2;
    }
    const size_t before = live.load();
    peak.store(before);
    const double start = cpuSeconds();
    vantor::MIDIFile file(argv[1]);
    if (!file.load()) return 1;
    file.init();
    const double seconds = cpuSeconds() - start;
    // The events the model holds: channel events, tempo changes and time signatures.
    const size_t held = file.eventCount() + file.tempoMap().size() + file.timeSignatures().size();
    std::printf("%.6f %zu %zu\n", seconds, held, peak.load() - before);
    return 0;
}
