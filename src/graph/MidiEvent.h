// The 16-byte MIDI event record every MIDI-handling module exchanges. Events of one block travel
// as a MidiEventArray sorted by frame offset; arrays keep their capacity from block to block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor {

struct MidiEvent {
    uint8_t status = 0;      // type in the high nibble, channel in the low nibble
    uint8_t data1 = 0;       // note / controller number
    uint8_t data2 = 0;       // velocity / controller value
    uint8_t reserved = 0;    // always 0
    int32_t frameOffset = 0; // 0 .. block size - 1
    uint32_t timeStamp = 0;  // low 32 bits of the input driver's receive time; 0 from other sources
    float noteTag = 0.0f;    // 0 from every host source; note-offs match held notes by number and tag
};

static_assert(sizeof(MidiEvent) == 16, "the MIDI event record is 16 bytes");
static_assert(offsetof(MidiEvent, status) == 0);
static_assert(offsetof(MidiEvent, data1) == 1);
static_assert(offsetof(MidiEvent, data2) == 2);
static_assert(offsetof(MidiEvent, reserved) == 3);
static_assert(offsetof(MidiEvent, frameOffset) == 4);
static_assert(offsetof(MidiEvent, timeStamp) == 8);
static_assert(offsetof(MidiEvent, noteTag) == 12);

using MidiEventArray = std::vector<MidiEvent>;

} // namespace vantor
