// A loaded Standard MIDI File as the player needs it: every channel event keyed by its time in
// beats (quarter notes), all tracks merged into one time-ordered list, the tempo map, the time
// signatures and the bars that say where the song ends.
#pragma once

#include "midifile/MidifileReader.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

// The stored events are small: a pointer to their type, the beat and a few bytes. They live in
// fixed slots of one contiguous array per file (each track a contiguous stretch of it).
class Vmds_midiEvent {
public:
    Vmds_midiEvent(int32_t channelNumber, double beat)
        : time(beat), channel(static_cast<uint8_t>(channelNumber)) {}
    virtual ~Vmds_midiEvent() = default;
    virtual std::string print() const = 0; // diagnostics only
    virtual void getBytes(int& status, int& data1, int& data2) const = 0;

    double time; // beats
    uint8_t channel;
};

class Vmds_note : public Vmds_midiEvent {
public:
    // 1/127 as the single-precision constant velocities are scaled with.
    static constexpr float kVelocityScale = 1.0f / 127.0f;

    Vmds_note(int32_t channelNumber, bool isOn, int32_t keyNumber, int midiVelocity, double beat)
        : Vmds_midiEvent(channelNumber, beat), on(isOn), key(static_cast<uint8_t>(keyNumber)),
          velocity(static_cast<float>(midiVelocity) * kVelocityScale) {}
    std::string print() const override;
    void getBytes(int& status, int& data1, int& data2) const override;

    bool on;
    uint8_t key;
    float velocity; // 0..1; the scaled value is a single-precision one, so float holds it exactly
};

class Vmds_simple : public Vmds_midiEvent {
public:
    Vmds_simple(int32_t channelNumber, int32_t statusType, int32_t first, int32_t second, double beat = 0.0)
        : Vmds_midiEvent(channelNumber, beat), type(static_cast<uint8_t>(statusType)),
          data1(static_cast<uint8_t>(first)), data2(static_cast<uint8_t>(second)) {}
    std::string print() const override;
    void getBytes(int& status, int& first, int& second) const override;

    uint8_t type; // 0xA0, 0xB0, 0xC0, 0xD0 or 0xE0
    uint8_t data1;
    uint8_t data2;
};

// Room for one event of either kind.
struct alignas(Vmds_midiEvent) Vmds_eventSlot {
    unsigned char bytes[24];
    const Vmds_midiEvent* event() const {
        return std::launder(reinterpret_cast<const Vmds_midiEvent*>(bytes));
    }
};
static_assert(sizeof(Vmds_note) <= sizeof(Vmds_eventSlot) && sizeof(Vmds_simple) <= sizeof(Vmds_eventSlot),
              "an event must fit its slot");

// Events by time, in the order they were read at equal times: a view of event slots the
// MIDIFile owns, either a contiguous stretch (a track) or an order over them (the merged track).
class Vmds_track {
public:
    using Entry = std::pair<double, const Vmds_midiEvent*>;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        const_iterator() = default;
        const_iterator(const Vmds_eventSlot* slots, const uint32_t* order, size_t index)
            : slots_(slots), order_(order), index_(index) {}
        // The entry is made on demand and kept in the iterator: valid until it moves.
        reference operator*() const {
            const Vmds_midiEvent* e = slots_[order_ ? order_[index_] : index_].event();
            entry_ = Entry(e->time, e);
            return entry_;
        }
        pointer operator->() const { return &**this; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++index_;
            return old;
        }
        const_iterator& operator+=(difference_type n) {
            index_ += static_cast<size_t>(n);
            return *this;
        }
        const_iterator operator+(difference_type n) const { return const_iterator(*this) += n; }
        difference_type operator-(const const_iterator& other) const {
            return static_cast<difference_type>(index_) - static_cast<difference_type>(other.index_);
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }
        bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

    private:
        const Vmds_eventSlot* slots_ = nullptr;
        const uint32_t* order_ = nullptr;
        size_t index_ = 0;
        mutable Entry entry_;
    };

    // First entry with time >= beat.
    const_iterator lowerBound(double beat) const;
    const_iterator begin() const { return const_iterator(slots_, order_, 0); }
    const_iterator end() const { return const_iterator(slots_, order_, size_); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Vmds_midiEvent* at(size_t i) const { return slots_[order_ ? order_[i] : i].event(); }

    double endTime = 0.0;

private:
    friend class MIDIFile;
    friend class Vmds_midifile_reader;
    const Vmds_eventSlot* slots_ = nullptr;
    const uint32_t* order_ = nullptr; // null: the slots in their own order
    size_t size_ = 0;
};

// Beat -> beats per minute in beat order, with the look-ups of an ordered map: one sorted array
// (a tempo change costs 16 bytes, not a tree node).
class Vmds_tempoMap {
public:
    using value_type = std::pair<double, double>;
    using const_iterator = std::vector<value_type>::const_iterator;
    using iterator = const_iterator;

    // A later value at the same beat replaces the earlier. Tempi come in beat order within a
    // track; one that does not waits, unsorted, for finish().
    void set(double beat, double bpm);
    // Brings out-of-order entries into place (the last one set at a beat wins).
    void finish();
    void reserve(size_t entries) { entries_.reserve(entries); }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    const_iterator lower_bound(double beat) const;
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    double at(double beat) const; // throws std::out_of_range for a beat without an entry
    bool operator==(const Vmds_tempoMap& other) const { return entries_ == other.entries_; }

private:
    std::vector<value_type> entries_;
    bool sorted_ = true;
};

struct Vmds_bar {
    double start = 0.0;
    double end = 0.0;
    int32_t numerator = 4;
    int32_t denominator = 4;
    int32_t index = 0;
};

struct Vmds_timeSignature {
    int32_t numerator;
    int32_t denominator;
};

class MIDIFile {
public:
    // Bounds that keep any file, however hostile, loading in bounded time and memory.
    static constexpr size_t kMaxBars = 100000;     // 400000 beats of 4/4
    static constexpr int kMaxDenominatorPower = 7; // up to 128th-note beats
    static constexpr int kMaxLoadLogLines = 2000;  // per load, so a hostile file cannot flood the log

    explicit MIDIFile(const std::string& path);
    virtual ~MIDIFile();
    MIDIFile(const MIDIFile&) = delete;
    MIDIFile& operator=(const MIDIFile&) = delete;

    // False when the file cannot be opened or has no valid header chunk (it is not a MIDI file:
    // logged); parse errors after a valid header are logged and keep what was read. Reads the
    // whole file, then parses it as parse() does.
    bool load();
    // Parses a whole file's bytes from memory (they need not outlive the call). Parse errors are
    // logged and keep what was read, as in load(). False when there is no valid header chunk:
    // "MThd" with all its bytes, format 0 to 2, at least one track and a division other than 0.
    bool parse(const unsigned char* bytes, size_t size);
    Vmds_track& track(int index);
    void setTempo(double beat, double bpm);
    // Returns false (and stores nothing) for a signature that cannot make bars.
    bool addTimeSignature(double beat, int numerator, int denominator);
    void init();
    bool findBar(uint64_t& searchIndex, double beat, Vmds_bar& bar, bool restart) const;
    // Seconds from the start to `beat` through the tempo map, as the player times it: the first
    // tempo (120 BPM without one) holds from the start until the next change.
    double secondsAt(double beat) const;
    // How long the player plays the file: up to the end of its last bar (after init).
    double durationSeconds() const { return bars_.empty() ? 0.0 : secondsAt(bars_.back().end); }

    const std::string& path() const { return path_; }
    int trackCount() const { return trackCount_; }
    double length() const { return length_; }
    const Vmds_tempoMap& tempoMap() const { return tempoMap_; }
    const std::map<double, Vmds_timeSignature>& timeSignatures() const { return timeSignatures_; }
    const std::vector<Vmds_bar>& bars() const { return bars_; }
    const Vmds_track& mergedTrack() const { return merged_; }
    const std::map<int, Vmds_track>& tracks() const { return tracks_; }
    size_t eventCount() const { return eventCount_; }

private:
    friend class Vmds_midifile_reader;
    // Appends the stream's bytes from its start to bytes; false on a read error.
    static bool readWholeFile(std::FILE* stream, std::vector<unsigned char>& bytes);
    // Log budget shared by everything one load writes.
    bool mayLog();
    void buildBars();
    void mergeTracks();
    // Appends up to count bars of barLength from start; returns how many it appended.
    size_t appendBars(double& start, double count, double barLength, const Vmds_timeSignature& sig,
                      int32_t& index);

    std::string path_;
    int trackCount_ = 0;
    bool headerValid_ = false;
    double length_ = 0.0;
    Vmds_tempoMap tempoMap_;
    std::map<double, Vmds_timeSignature> timeSignatures_;
    std::vector<Vmds_bar> bars_;
    Vmds_track merged_;
    std::map<int, Vmds_track> tracks_;
    // Every event, track after track, each track's stretch sized by a counting pass over the
    // bytes, so nothing is ever moved or over-allocated; the merged order indexes into it.
    std::unique_ptr<Vmds_eventSlot[]> slots_;
    size_t eventCount_ = 0;
    std::unique_ptr<uint32_t[]> mergedOrder_;
    int logLines_ = 0;
    bool barsCapped_ = false;
};

// Fills a MIDIFile from a file's bytes in memory.
class Vmds_midifile_reader : public Midifile_reader {
public:
    // counts: the channel events of each track, from a counting pass over the same bytes; the
    // file's event slots are already sized for them.
    Vmds_midifile_reader(MIDIFile& file, const unsigned char* bytes, size_t size,
                         const std::vector<size_t>& counts);
    ~Vmds_midifile_reader() override;

protected:
    char* allocateBuffer(size_t size) override;
    void releaseBuffer(char* bytes, size_t size) override;
    void onTrackStart() override;
    void onTrackEnd() override;
    int readByte() override;
    size_t readBytes(char* destination, size_t count) override;
    size_t bytesAvailable() override;
    void onEndOfTrack() override;
    void onError(const std::string& message) override;
    void onHeader(int format, int tracks, int division) override;
    void onNoteOn(int channel, int key, int velocity) override;
    void onNoteOff(int channel, int key, int velocity) override;
    void onPolyPressure(int channel, int key, int pressure) override;
    void onController(int channel, int controller, int value) override;
    void onPitchBend(int channel, int lsb, int msb) override;
    void onProgram(int channel, int program, int unused) override;
    void onChannelPressure(int channel, int pressure, int unused) override;
    void onSysex(int32_t length, const char* data) override;
    void onArbitrary(int32_t length, const char* data) override;
    void onMetaMisc(int type, int32_t length, const char* data) override;
    void onSequenceNumber(int number) override;
    void onSmpteOffset(int hours, int minutes, int seconds, int frames, int fractions) override;
    void onTimeSignature(int numerator, int denominatorPower, int clocks, int thirtySeconds) override;
    void onTempo(int32_t microsecondsPerQuarter) override;
    void onKeySignature(int sharpsFlats, int minor) override;
    void onSequencerSpecific(int32_t length, const char* data) override;
    void onText(int type, int32_t length, const char* data) override;

private:
    double now() const;
    template <class Event, class... Args> void addEvent(Args... args);

    MIDIFile& file_;
    const std::vector<size_t>& counts_;
    size_t stretchStart_ = 0;       // where the current track's slots begin
    Vmds_track* current_ = nullptr; // the current track, once it has an event
    const unsigned char* bytes_;
    size_t size_;
    size_t position_ = 0;
    int32_t division_ = 0;
    int trackIndex_ = 0;
};

} // namespace vantor
