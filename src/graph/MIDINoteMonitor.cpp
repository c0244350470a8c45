#include "graph/MIDINoteMonitor.h"

#include <bit>
#include <cstring>

namespace vantor {

namespace {
constexpr int kChannels = 16;

// Orders tags totally (NaN payloads included) so the set can be searched; -0 and 0 are one tag.
uint32_t tagKey(float tag) {
    uint32_t bits = tag == 0.0f ? 0u : std::bit_cast<uint32_t>(tag);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

bool less(uint8_t noteA, uint32_t keyA, uint8_t noteB, uint32_t keyB) {
    return noteA != noteB ? noteA < noteB : keyA < keyB;
}
} // namespace

MIDINoteMonitor::MIDINoteMonitor(bool perChannel)
    : perChannel_(perChannel), setCount_(perChannel ? kChannels : 1), sets_(new Set[setCount_]) {}

MIDINoteMonitor::~MIDINoteMonitor() = default;

size_t MIDINoteMonitor::maxFlushEvents() const {
    return setCount_ * kMaxHeldPerSet + kChannels;
}

size_t MIDINoteMonitor::heldCount(int channel) const {
    if (!perChannel_) return sets_[0].count;
    if (channel < 0 || channel >= kChannels) return 0;
    return sets_[channel].count;
}

size_t MIDINoteMonitor::totalHeld() const {
    size_t total = 0;
    for (size_t i = 0; i < setCount_; ++i)
        total += sets_[i].count;
    return total;
}

MIDINoteMonitor::Set& MIDINoteMonitor::setFor(uint8_t status) {
    return perChannel_ ? sets_[status & 0x0F] : sets_[0];
}

void MIDINoteMonitor::insert(Set& set, uint8_t note, float tag, int channel) {
    const uint32_t key = tagKey(tag);
    size_t lo = 0, hi = set.count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (less(set.held[mid].note, set.held[mid].tagKey, note, key))
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < set.count && set.held[lo].note == note && set.held[lo].tagKey == key) return; // held already
    if (set.count == kMaxHeldPerSet) {
        set.overflowChannels = static_cast<uint16_t>(set.overflowChannels | (1u << channel));
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memmove(&set.held[lo + 1], &set.held[lo], (set.count - lo) * sizeof(Held));
    set.held[lo] = Held{note, key, tag};
    ++set.count;
}

void MIDINoteMonitor::erase(Set& set, uint8_t note, float tag) {
    const uint32_t key = tagKey(tag);
    size_t lo = 0, hi = set.count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (less(set.held[mid].note, set.held[mid].tagKey, note, key))
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == set.count || set.held[lo].note != note || set.held[lo].tagKey != key) return;
    std::memmove(&set.held[lo], &set.held[lo + 1], (set.count - lo - 1) * sizeof(Held));
    --set.count;
}

void MIDINoteMonitor::track(const MidiEventArray& events) {
    for (const MidiEvent& e : events) {
        const uint8_t type = e.status & 0xF0;
        const uint8_t note = e.data1 & 0x7F;
        if (type == 0x90 && (e.data2 & 0x7F) > 0)
            insert(setFor(e.status), note, e.noteTag, e.status & 0x0F);
        else if (type == 0x80 || type == 0x90)
            erase(setFor(e.status), note, e.noteTag);
    }
}

void MIDINoteMonitor::flushNoteOffs(MidiEventArray& events, int32_t frameOffset) {
    for (size_t s = 0; s < setCount_; ++s) {
        Set& set = sets_[s];
        const uint8_t channel = perChannel_ ? static_cast<uint8_t>(s) : 0;
        for (size_t i = 0; i < set.count; ++i) {
            MidiEvent e;
            e.status = static_cast<uint8_t>(0x90 | channel);
            e.data1 = set.held[i].note;
            e.data2 = 0;
            e.frameOffset = frameOffset;
            e.timeStamp = 0;
            e.noteTag = set.held[i].tag;
            events.push_back(e);
        }
        set.count = 0;
        // Notes that could not be tracked are silenced with All Notes Off on their channel.
        for (int ch = 0; ch < kChannels; ++ch) {
            if (!(set.overflowChannels & (1u << ch))) continue;
            MidiEvent e;
            e.status = static_cast<uint8_t>(0xB0 | ch);
            e.data1 = 123;
            e.data2 = 0;
            e.frameOffset = frameOffset;
            events.push_back(e);
        }
        set.overflowChannels = 0;
    }
}

} // namespace vantor
