#include "midifile/MIDIFilePlayer.h"

#include "graph/DSPInfo.h"
#include "graph/MIDINoteMonitor.h"
#include "midifile/MIDIFile.h"
#include "threads/Sync.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>

namespace vantor {

namespace {

constexpr size_t kResetCount = 48;
// Records a block of file events can fill before the array has to grow; with the resets and a
// full note-off flush on top, advance() never allocates for any plausible file.
constexpr size_t kFileEventsPerBlock = 4096;

std::array<MidiEvent, kResetCount> makeResets() {
    std::array<MidiEvent, kResetCount> resets{};
    size_t i = 0;
    for (int channel = 0; channel < 16; ++channel) {
        for (uint8_t controller : {uint8_t{64}, uint8_t{123}, uint8_t{120}}) {
            MidiEvent& e = resets[i++];
            e.status = static_cast<uint8_t>(0xB0 | channel);
            e.data1 = controller;
            e.data2 = 0;
        }
    }
    return resets;
}

} // namespace

struct MIDIFilePlayer::State {
    // Shared with the engine's thread without the lock.
    std::atomic<bool> playing{false};
    std::atomic<bool> wasPlaying{false};
    std::atomic<double> position{0.0};
    std::atomic<double> length{0.0}; // the file's length, kept here so getPosition never touches the file
    std::atomic<double> duration{0.0}; // seconds it plays, from its tempo map

    Mutex lock{"BMFP"};
    // Guarded by the lock.
    std::unique_ptr<MIDIFile> file;
    float tempo = 120.0f;
    uint64_t barSearchIndex = 0;
    bool seekPending = false;

    // Audio thread only.
    MidiEventArray events;
    MIDINoteMonitor monitor{true};
    std::array<MidiEvent, kResetCount> resets = makeResets();

    void beginFlush() {
        events.assign(resets.begin(), resets.end());
        monitor.flushNoteOffs(events, 0);
    }
};

MIDIFilePlayer::MIDIFilePlayer() : state_(new State) {
    state_->events.reserve(kResetCount + state_->monitor.maxFlushEvents() + kFileEventsPerBlock);
}

MIDIFilePlayer::~MIDIFilePlayer() {
    delete state_;
}

void MIDIFilePlayer::initialize(Instance*, DSPInfo*) {
    state_->resets = makeResets();
}

bool MIDIFilePlayer::load(const std::string& utf8Path) {
    return replaceFile(utf8Path, nullptr, 0);
}

bool MIDIFilePlayer::loadFromMemory(const unsigned char* bytes, size_t size) {
    static const unsigned char kNothing = 0;
    return replaceFile(std::string(), bytes ? bytes : &kNothing, bytes ? size : 0);
}

bool MIDIFilePlayer::replaceFile(const std::string& utf8Path, const unsigned char* bytes, size_t size) {
    State& s = *state_;
    s.playing.store(false);
    VxMutexLocker locker(s.lock);
    // Length first, then position: a concurrent getPosition sees 0 or a consistent pair.
    s.length.store(0.0);
    s.position.store(0.0);
    s.duration.store(0.0);
    s.file.reset();
    s.barSearchIndex = 0;
    s.seekPending = false;
    try {
        auto file = std::make_unique<MIDIFile>(utf8Path);
        // Only a file with a valid header chunk is a MIDI file; anything else is refused rather
        // than played as a bar of silence.
        if (bytes ? !file->parse(bytes, size) : !file->load()) return false;
        file->init();
        s.tempo = 120.0f;
        if (!file->tempoMap().empty()) s.tempo = static_cast<float>(file->tempoMap().begin()->second);
        s.file = std::move(file);
        s.length.store(s.file->length());
        s.duration.store(s.file->durationSeconds());
        return true;
    } catch (...) {
        s.file.reset();
        s.length.store(0.0);
        s.playing.store(false);
        return false;
    }
}

void MIDIFilePlayer::startPlayback() {
    state_->playing.store(true);
}

void MIDIFilePlayer::stopPlayback() {
    state_->playing.store(false);
}

void MIDIFilePlayer::seek(float fraction) {
    State& s = *state_;
    const bool wasSet = s.playing.exchange(false);
    {
        VxMutexLocker locker(s.lock);
        if (s.file) {
            // The engine hands this over unchecked: keep the position inside the file.
            const double f =
                std::isfinite(fraction) ? std::clamp(static_cast<double>(fraction), 0.0, 1.0) : 0.0;
            const double position = f * s.file->length();
            s.position.store(position);
            Vmds_bar bar;
            s.file->findBar(s.barSearchIndex, position, bar, true);
            s.seekPending = true;
        }
        if (wasSet) s.playing.store(true);
    }
}

double MIDIFilePlayer::durationSeconds() const {
    return state_->duration.load();
}

double MIDIFilePlayer::getPosition() {
    const double length = state_->length.load();
    if (!(length > 0.0)) return 0.0;
    return state_->position.load() / length;
}

void MIDIFilePlayer::advance() {
    State& s = *state_;
    s.events.clear();
    const DSPInfo* info = info_;

    if (!s.playing.load()) {
        if (s.wasPlaying.load()) {
            // Playback was just stopped: silence whatever the file started.
            s.beginFlush();
            s.wasPlaying.store(false);
        }
        return;
    }

    if (!s.lock.TryLock()) return; // a load or seek is running: this block plays nothing
    struct Unlocker {
        Mutex& m;
        ~Unlocker() { m.Unlock(); }
    } unlocker{s.lock};

    if (!s.file || !info || info->blockSize == 0) {
        s.wasPlaying.store(true);
        return;
    }
    const MIDIFile& file = *s.file;

    if (s.seekPending) {
        s.beginFlush();
        s.seekPending = false;
    }

    const double position = s.position.load();
    const double duration = info->blockDuration;

    // A tempo change anywhere inside this block's window applies to the whole block.
    const double window = static_cast<double>(s.tempo / 60.0f) * duration;
    const auto& tempi = file.tempoMap();
    for (auto it = tempi.lower_bound(position); it != tempi.end() && it->first < position + window; ++it)
        s.tempo = static_cast<float>(it->second);

    const double span = static_cast<double>(s.tempo / 60.0f) * duration;
    const double lastFrame = static_cast<double>(info->blockSize - 1);
    const Vmds_track& merged = file.mergedTrack();
    for (auto it = merged.lowerBound(position); it != merged.end() && it->first < position + span; ++it) {
        int status = 0, data1 = 0, data2 = 0;
        it->second->getBytes(status, data1, data2);
        MidiEvent e;
        e.status = static_cast<uint8_t>(status);
        e.data1 = static_cast<uint8_t>(data1);
        e.data2 = static_cast<uint8_t>(data2);
        // Nearest frame, halves to even (the default rounding mode).
        const double offset = std::nearbyint((it->first - position) / span * lastFrame);
        e.frameOffset = static_cast<int32_t>(std::clamp(offset, 0.0, lastFrame));
        s.events.push_back(e);
    }
    s.monitor.track(s.events);

    Vmds_bar bar;
    if (file.findBar(s.barSearchIndex, position, bar, false)) {
        s.position.store(position + span);
        s.wasPlaying.store(true);
    } else {
        // Past the last bar: the song is over; every block repeats this until stop or seek.
        s.position.store(file.length());
        s.beginFlush();
        s.wasPlaying.store(false);
    }
}

void MIDIFilePlayer::getBlockEvents(MidiEventArray& events) {
    events.insert(events.end(), state_->events.begin(), state_->events.end());
    state_->events.clear();
}

} // namespace vantor
