// A loaded Standard MIDI File as the player needs it: every channel event keyed by its time in
// beats (quarter notes), all tracks merged into one time-ordered list, the tempo map, the time
// signatures and the bars that say where the song ends.
#pragma once

#include "midifile/MidifileReader.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

class Vmds_midiEvent {
public:
    explicit Vmds_midiEvent(int32_t channelNumber) : channel(channelNumber) {}
    virtual ~Vmds_midiEvent() = default;
    virtual std::string print() const = 0; // diagnostics only
    virtual void getBytes(int& status, int& data1, int& data2) const = 0;

    int32_t channel;
};

class Vmds_note : public Vmds_midiEvent {
public:
    // 1/127 as the single-precision constant velocities are scaled with.
    static constexpr float kVelocityScale = 1.0f / 127.0f;

    Vmds_note(int32_t channelNumber, bool isOn, int32_t keyNumber, int midiVelocity, double beat)
        : Vmds_midiEvent(channelNumber), on(isOn), key(keyNumber),
          velocity(static_cast<double>(static_cast<float>(midiVelocity) * kVelocityScale)), time(beat) {}
    std::string print() const override;
    void getBytes(int& status, int& data1, int& data2) const override;

    bool on;
    int32_t key;
    double velocity; // 0..1
    double time;     // beats
};

class Vmds_simple : public Vmds_midiEvent {
public:
    Vmds_simple(int32_t channelNumber, int32_t statusType, int32_t first, int32_t second)
        : Vmds_midiEvent(channelNumber), type(statusType), data1(first), data2(second) {}
    std::string print() const override;
    void getBytes(int& status, int& first, int& second) const override;

    int32_t type; // 0xA0, 0xB0, 0xC0, 0xD0 or 0xE0
    int32_t data1;
    int32_t data2;
};

// Events by time; events at equal times keep the order they were added in. Holds pointers only:
// the MIDIFile owns the events.
class Vmds_track {
public:
    using Entry = std::pair<double, Vmds_midiEvent*>;
    using const_iterator = std::vector<Entry>::const_iterator;

    void add(double time, Vmds_midiEvent* event);
    // First entry with time >= beat.
    const_iterator lowerBound(double beat) const;
    const_iterator begin() const { return events_.begin(); }
    const_iterator end() const { return events_.end(); }
    size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }

    double endTime = 0.0;

private:
    friend class MIDIFile;
    std::vector<Entry> events_;
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
    const std::map<double, double>& tempoMap() const { return tempoMap_; }
    const std::map<double, Vmds_timeSignature>& timeSignatures() const { return timeSignatures_; }
    const std::vector<Vmds_bar>& bars() const { return bars_; }
    const Vmds_track& mergedTrack() const { return merged_; }
    const std::map<int, Vmds_track>& tracks() const { return tracks_; }
    size_t eventCount() const { return owned_.size(); }

private:
    friend class Vmds_midifile_reader;
    // Appends the stream's bytes from its start to bytes; false on a read error.
    static bool readWholeFile(std::FILE* stream, std::vector<unsigned char>& bytes);
    // Log budget shared by everything one load writes.
    bool mayLog();
    void buildBars();
    // Appends up to count bars of barLength from start; returns how many it appended.
    size_t appendBars(double& start, double count, double barLength, const Vmds_timeSignature& sig,
                      int32_t& index);

    std::string path_;
    int trackCount_ = 0;
    bool headerValid_ = false;
    double length_ = 0.0;
    std::map<double, double> tempoMap_;
    std::map<double, Vmds_timeSignature> timeSignatures_;
    std::vector<Vmds_bar> bars_;
    Vmds_track merged_;
    std::map<int, Vmds_track> tracks_;
    std::vector<std::unique_ptr<Vmds_midiEvent>> owned_;
    int logLines_ = 0;
    bool barsCapped_ = false;
};

// Fills a MIDIFile from a file's bytes in memory.
class Vmds_midifile_reader : public Midifile_reader {
public:
    Vmds_midifile_reader(MIDIFile& file, const unsigned char* bytes, size_t size);
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
    void addEvent(std::unique_ptr<Vmds_midiEvent> event);

    MIDIFile& file_;
    const unsigned char* bytes_;
    size_t size_;
    size_t position_ = 0;
    int32_t division_ = 0;
    int trackIndex_ = 0;
};

} // namespace vantor
