// Remembers which notes sound so that note-offs can be generated (a MIDI file stopping or seeking
// must not leave notes hanging).
//
// Per-channel mode keeps one set per MIDI channel (the status byte's low nibble); single mode keeps
// one set for all channels and flushes on channel 0. Each set holds (note 0..127, note tag) pairs
// ordered by note, then tag, each present at most once. A note-on (0x9n, velocity > 0) adds its
// pair; a note-off (0x8n) or a note-on with velocity 0 removes it; other messages are ignored.
//
// Fixed capacity, nothing allocated after construction: each set is a sorted array of
// kMaxHeldPerSet pairs, more than the 128 notes a channel can hold with the host's tag 0. A note-on
// that finds its set full is not tracked; instead the set remembers the channel, and the next flush
// adds an All Notes Off (controller 123) for that channel after the note-offs, so no note can be
// left sounding. droppedNoteOns() counts such note-ons (no log line: this runs on the audio thread).
//
// flushNoteOffs appends at most maxFlushEvents() records: reserve that much in `events` beforehand
// and the flush allocates nothing.
#pragma once

#include "graph/MidiEvent.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantor {

class MIDINoteMonitor {
public:
    static constexpr size_t kMaxHeldPerSet = 256;

    explicit MIDINoteMonitor(bool perChannel);
    ~MIDINoteMonitor();
    MIDINoteMonitor(const MIDINoteMonitor&) = delete;
    MIDINoteMonitor& operator=(const MIDINoteMonitor&) = delete;

    void track(const MidiEventArray& events);
    // For every set (channels 0..15 in order, or the single set), appends a note-on with velocity 0
    // at frameOffset for each held pair in set order, then empties the set.
    void flushNoteOffs(MidiEventArray& events, int32_t frameOffset);

    size_t maxFlushEvents() const;
    bool perChannel() const { return perChannel_; }
    // Pairs held in the set of a channel (the single set in single mode).
    size_t heldCount(int channel) const;
    size_t totalHeld() const;
    uint64_t droppedNoteOns() const { return dropped_.load(std::memory_order_relaxed); }

private:
    struct Held {
        uint8_t note;
        uint32_t tagKey; // total-order key of the tag; -0 counts as 0
        float tag;
    };
    struct Set {
        std::array<Held, kMaxHeldPerSet> held;
        size_t count = 0;
        uint16_t overflowChannels = 0; // channels with untracked note-ons since the last flush
    };

    Set& setFor(uint8_t status);
    void insert(Set& set, uint8_t note, float tag, int channel);
    void erase(Set& set, uint8_t note, float tag);

    bool perChannel_;
    size_t setCount_;
    std::unique_ptr<Set[]> sets_;
    std::atomic<uint64_t> dropped_{0};
};

} // namespace vantor
