// VirtualMidiScope: gives a test its own virtual MIDI back end and a fresh MIDI port table for as
// long as it lives, on every platform (under Wine too, where winmm has no ports).
//
//   #include "support/VirtualMidiScope.h"
//   vantor::test::VirtualMidiScope midi;
//   int keyboard = midi.api().addInput("Keys");     // ports exist before the table is first used
//   int synth = midi.api().addOutput("Synth");
//   std::vector<int32_t> ids; vantor::listMIDIPorts(ids);   // enumerates: 0 = Synth, 1 = Keys
//   midi.api().sendShortAt(keyboard, 0x7F3C90, 5);   // note on, 5 ms after the input's start
//
// The table is cleared when the scope opens and when it closes; the next-id counter of the
// process keeps counting (compare with vantor::midiPortNextId() deltas, never absolute values).
// Also: a controllable multimedia-millisecond clock for drivers and devices.
#pragma once

#include "midi/VirtualMidi.h"

#include <atomic>
#include <cstdint>

namespace vantor::test {

class VirtualMidiScope {
public:
    VirtualMidiScope();
    ~VirtualMidiScope();
    VirtualMidiScope(const VirtualMidiScope&) = delete;
    VirtualMidiScope& operator=(const VirtualMidiScope&) = delete;

    VirtualMidiApi& api() { return api_; }

private:
    VirtualMidiApi api_;
};

// A process-wide fake multimedia clock: pass &FakeMidiClock::now where a MillisClock is taken.
struct FakeMidiClock {
    static uint32_t now() { return millis.load(std::memory_order_relaxed); }
    static void set(uint32_t ms) { millis.store(ms, std::memory_order_relaxed); }
    static void advance(uint32_t ms) { millis.fetch_add(ms, std::memory_order_relaxed); }
    static inline std::atomic<uint32_t> millis{0};
};

} // namespace vantor::test
