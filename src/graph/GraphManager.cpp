#include "graph/GraphManager.h"

#include "graph/DSPInfo.h"
#include "graph/Instance.h"
#include "graph/MidiBlockSource.h"
#include "log/Log.h"
#include "midifile/MIDIFilePlayer.h"
#include "recording/StereoFileOutputModule.h"

#include <algorithm>

namespace vantor {

namespace {
// Holds the graph lock for the duration of a change on the opcode thread.
class GraphLocker {
public:
    explicit GraphLocker(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~GraphLocker() { mutex_.Unlock(); }
    GraphLocker(const GraphLocker&) = delete;
    GraphLocker& operator=(const GraphLocker&) = delete;

private:
    Mutex& mutex_;
};

constexpr size_t kInsertionSortLimit = 32;

// Modules go in ascending key order, as they were started.
template <class Map> void destroyAscending(Map& map) {
    while (!map.empty())
        map.erase(map.begin());
}

class PlayerEventSource : public FileEventSource {
public:
    explicit PlayerEventSource(MIDIFilePlayer& player) : player_(player) {}
    void advanceAndGetEvents(MidiEventArray& events) override {
        player_.advance();
        player_.getBlockEvents(events);
    }
    double getPosition() override { return player_.getPosition(); }

private:
    MIDIFilePlayer& player_;
};

void insertionSort(MidiEvent* first, size_t n) {
    for (size_t i = 1; i < n; ++i) {
        MidiEvent e = first[i];
        size_t j = i;
        while (j > 0 && first[j - 1].frameOffset > e.frameOffset) {
            first[j] = first[j - 1];
            --j;
        }
        first[j] = e;
    }
}
} // namespace

GraphManager::GraphManager() : lock_(std::make_unique<Mutex>("Graph")) {}

GraphManager::~GraphManager() {
    audioDevice_.reset();
    destroyAscending(instruments_);
    destroyAscending(gains_);
    events_.clear();
    destroyAscending(midiInputs_);
    destroyAscending(midiOutputs_);
    instrumentBuffer_.reset();
    mixBus_.reset();
    lock_.reset();
    rightMeter_.reset();
    leftMeter_.reset();
    fileSource_ = nullptr;
    playerSource_.reset();
    player_.reset();
    recorder_.reset();
    masterGain_.reset();
}

void GraphManager::init(Instance* context, DSPInfo* info, MIDIFilePlayer* player,
                        StereoFileOutputModule* recorder) {
    context_ = context;
    info_ = info;
    createScratchBuffers(info ? info->blockSize : 0);
    masterGain_ = std::make_unique<StereoGainModule>();
    masterGain_->init(context, info);
    masterGain_->setGain(1.0f);
    recorder_.reset(recorder);
    if (recorder_) recorder_->init(context, info);
    player_.reset(player);
    if (player_) {
        player_->init(context, info);
        playerSource_ = std::make_unique<PlayerEventSource>(*player_);
    }
    fileSource_ = playerSource_.get();
    leftMeter_ = std::make_unique<AudioStatKeeper>();
    rightMeter_ = std::make_unique<AudioStatKeeper>();
    sortScratch_.reserve(eventReserve());
}

void GraphManager::createScratchBuffers(uint32_t frames) {
    instrumentBuffer_ = std::make_unique<MultichannelBuffer>(2, frames);
    mixBus_ = std::make_unique<MultichannelBuffer>(2, frames);
}

size_t GraphManager::eventReserve() const {
    size_t n = kBaseEventReserve;
    for (const auto& [id, entry] : midiInputs_)
        if (entry.source) n += entry.source->maxBlockEvents();
    return n;
}

void GraphManager::reserveEvents(MidiEventArray& events) const {
    const size_t n = eventReserve();
    if (events.capacity() < n) events.reserve(n);
}

// --- audio device and MIDI devices ---

void GraphManager::setAudioDevice(Module* device) {
    GraphLocker lock(*lock_);
    audioDevice_.reset(device);
}

Module* GraphManager::getAudioDevice() {
    return audioDevice_.get();
}

void GraphManager::addMidiDevice(int id, Module* device, int value) {
    if (!device) return;
    MidiBlockSource* source = dynamic_cast<MidiBlockSource*>(device);
    const bool input = source && source->isMidiInput();
    std::unique_ptr<Module> displaced; // one device per id: the one there before goes, unlocked
    {
        GraphLocker lock(*lock_);
        displaced = takeMidiDevice(id);
        auto& map = input ? midiInputs_ : midiOutputs_;
        map[id] = MidiEntry{std::unique_ptr<Module>(device), input ? source : nullptr, value};
        if (input) {
            for (auto& [slot, events] : events_)
                reserveEvents(events);
            reserveEvents(sortScratch_);
        }
    }
}

void GraphManager::removeMidiDevice(int id) {
    // Deleted once the lock is let go (declared before it): a device's release reaches the MIDI
    // port lists, whose lock is never taken under this one, and closing its port must not hold
    // up the audio thread.
    std::unique_ptr<Module> removed;
    GraphLocker lock(*lock_);
    removed = takeMidiDevice(id);
}

std::unique_ptr<Module> GraphManager::takeMidiDevice(int id) {
    for (auto* map : {&midiInputs_, &midiOutputs_}) {
        auto it = map->find(id);
        if (it == map->end()) continue;
        std::unique_ptr<Module> device = std::move(it->second.device);
        map->erase(it);
        return device;
    }
    return nullptr;
}

// Readers of the device maps take the lock too: an engine may ask from its own thread while
// the window thread's hot-plug disables a device.
Module* GraphManager::findMidiDevice(int id) {
    GraphLocker lock(*lock_);
    if (auto it = midiInputs_.find(id); it != midiInputs_.end()) return it->second.device.get();
    if (auto it = midiOutputs_.find(id); it != midiOutputs_.end()) return it->second.device.get();
    return nullptr;
}

void GraphManager::listMidiDevices(std::vector<UsedMidiDevice>& out, int kind) {
    GraphLocker lock(*lock_);
    if (kind == 0 || kind == 2)
        for (const auto& [id, entry] : midiInputs_)
            out.push_back(UsedMidiDevice{id, entry.value});
    if (kind == 1 || kind == 2)
        for (const auto& [id, entry] : midiOutputs_)
            out.push_back(UsedMidiDevice{id, entry.value});
}

// --- instruments ---

bool GraphManager::addInstrument(int slot, Module* instrument) {
    if (instruments_.count(slot)) {
        logError("GraphManager::addInstrument, already an instrument in slot: ", slot);
        return false;
    }
    if (!instrument) {
        logError("GraphManager::addInstrument, no instrument given for slot: ", slot);
        return false;
    }
    auto gain = std::make_unique<StereoGainModule>();
    gain->init(context_, info_);
    MidiEventArray events;
    reserveEvents(events);
    GraphLocker lock(*lock_);
    instruments_[slot].reset(instrument);
    gains_[slot] = std::move(gain);
    events_[slot] = std::move(events);
    reserveEvents(sortScratch_);
    return true;
}

bool GraphManager::removeInstrument(int slot) {
    GraphLocker lock(*lock_);
    auto it = instruments_.find(slot);
    if (it == instruments_.end()) {
        logError("GraphManager::removeInstrument, no instrument in slot: ", slot);
        return false;
    }
    instruments_.erase(it);
    gains_.erase(slot);
    events_.erase(slot);
    return true;
}

Module* GraphManager::getInstrument(int slot) {
    auto it = instruments_.find(slot);
    return it == instruments_.end() ? nullptr : it->second.get();
}

StereoGainModule* GraphManager::getInstrumentGain(int slot) {
    auto it = gains_.find(slot);
    return it == gains_.end() ? nullptr : it->second.get();
}

bool GraphManager::showInstrumentUI(int slot, void* parent) {
    Module* instrument = getInstrument(slot);
    if (!instrument) {
        logError("GraphManager::showInstrumentUI, no instrument in slot: ", slot);
        return false;
    }
    return instrument->showUI(parent);
}

bool GraphManager::closeInstrumentUI(int slot) {
    Module* instrument = getInstrument(slot);
    if (!instrument) {
        logError("GraphManager::closeInstrumentUI, no instrument in slot: ", slot);
        return false;
    }
    return instrument->closeUI();
}

bool GraphManager::saveInstrumentChunk(int slot, void** data, int32_t* size) {
    Module* instrument = getInstrument(slot);
    if (!instrument) {
        logError("GraphManager::saveInstrumentChunk, no instrument in slot: ", slot);
        return false;
    }
    return instrument->saveChunk(data, size);
}

bool GraphManager::saveInstrumentChunkEnd(int slot) {
    Module* instrument = getInstrument(slot);
    if (!instrument) {
        logError("GraphManager::saveInstrumentChunkEnd, no instrument in slot: ", slot);
        return false;
    }
    return instrument->saveChunkEnd();
}

bool GraphManager::loadInstrumentChunk(int slot, const void* data, int32_t size) {
    Module* instrument = getInstrument(slot);
    if (!instrument) {
        logError("GraphManager::loadInstrumentChunk, no instrument in slot: ", slot);
        return false;
    }
    return instrument->loadChunk(data, size);
}

// --- whole graph ---

void GraphManager::startAll() {
    for (auto& [slot, instrument] : instruments_)
        instrument->start();
    for (auto& [id, entry] : midiInputs_)
        entry.device->start();
    for (auto& [id, entry] : midiOutputs_)
        entry.device->start();
}

void GraphManager::stopAll() {
    for (auto& [slot, instrument] : instruments_)
        instrument->stop();
    for (auto& [id, entry] : midiInputs_)
        entry.device->stop();
    for (auto& [id, entry] : midiOutputs_)
        entry.device->stop();
}

void GraphManager::setDSPInfo(DSPInfo* info) {
    info_ = info;
    if (audioDevice_) audioDevice_->setDSPInfo(info);
    if (player_) player_->setDSPInfo(info);
    for (auto& [id, entry] : midiInputs_)
        entry.device->setDSPInfo(info);
    for (auto& [id, entry] : midiOutputs_)
        entry.device->setDSPInfo(info);
    for (auto& [slot, instrument] : instruments_)
        instrument->setDSPInfo(info);
    for (auto& [slot, gain] : gains_)
        gain->setDSPInfo(info);
    if (masterGain_) masterGain_->setDSPInfo(info);
    if (recorder_) recorder_->setDSPInfo(info);
    createScratchBuffers(info ? info->blockSize : 0);
}

MIDIFilePlayer* GraphManager::getMidiFilePlayer() {
    return player_.get();
}

void GraphManager::setFileEventSource(FileEventSource* source) {
    GraphLocker lock(*lock_);
    fileSource_ = source ? source : playerSource_.get();
}

StereoFileOutputModule* GraphManager::getRecorder() {
    return recorder_.get();
}

// --- the block ---

void GraphManager::sortEvents(MidiEventArray& events) {
    const size_t n = events.size();
    if (n < 2) return;
    bool sorted = true;
    for (size_t i = 1; i < n && sorted; ++i)
        sorted = events[i - 1].frameOffset <= events[i].frameOffset;
    if (sorted) return;
    // std::stable_sort would allocate its buffer on every call: a stable bottom-up merge sort
    // through the reserved scratch array instead (insertion sort when short or out of room).
    if (n <= kInsertionSortLimit || sortScratch_.capacity() < n) {
        insertionSort(events.data(), n);
        return;
    }
    sortScratch_.resize(n);
    MidiEvent* from = events.data();
    MidiEvent* to = sortScratch_.data();
    for (size_t run = 1; run < n; run *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * run) {
            const size_t mid = std::min(lo + run, n);
            const size_t hi = std::min(lo + 2 * run, n);
            size_t a = lo, b = mid, k = lo;
            while (a < mid && b < hi)
                to[k++] = (from[b].frameOffset < from[a].frameOffset) ? from[b++] : from[a++];
            while (a < mid)
                to[k++] = from[a++];
            while (b < hi)
                to[k++] = from[b++];
        }
        std::swap(from, to);
    }
    if (from != events.data()) std::copy(from, from + n, events.data());
    sortScratch_.clear();
}

void GraphManager::process(float** outputs, uint32_t frames) {
    if (!lock_->TryLock()) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // Released on every way out: a module that throws must not leave the graph locked, or the
    // next device change would wait for ever.
    struct Unlock {
        Mutex& lock;
        ~Unlock() { lock.Unlock(); }
    } unlock{*lock_};
    if (mixBus_ && mixBus_->frames() > 0 && masterGain_) {
        const uint32_t piece = mixBus_->frames();
        uint32_t done = 0;
        while (done < frames) {
            const uint32_t n = std::min(piece, frames - done);
            float* out[2] = {outputs[0] + done, outputs[1] + done};
            processPiece(out, n);
            done += n;
        }
        rendered_.fetch_add(1, std::memory_order_relaxed);
    }
}

void GraphManager::processPiece(float** outputs, uint32_t frames) {
    mixBus_->clear(frames);
    bool playerDone = false;
    for (auto& [slot, instrument] : instruments_) {
        auto eventsIt = events_.find(slot);
        auto gainIt = gains_.find(slot);
        if (eventsIt == events_.end() || gainIt == gains_.end()) continue;
        MidiEventArray& events = eventsIt->second;

        for (auto& [id, entry] : midiInputs_)
            entry.source->getBlockEvents(events);
        // One block of the file per block, whatever the number of slots.
        if (fileSource_ && !playerDone) {
            fileSource_->advanceAndGetEvents(events);
            playerDone = true;
        }
        if (info_ && info_->isOffline() && fileSource_ && fileSource_->getPosition() == 1.0 && recorder_ &&
            !recorder_->getStopOnSilence())
            recorder_->setStopOnSilence(true);

        sortEvents(events);
        instrumentBuffer_->clear(frames);
        const double rate = info_ ? info_->sampleRate : 0.0;
        instrument->setTimeInfo(transportTime_, transportTime_ / 0.001 * rate);
        instrument->processBlock(events, nullptr, instrumentBuffer_->channels(), frames, false);
        events.clear();
        gainIt->second->processAudio(instrumentBuffer_->channels(), mixBus_->channels(), frames, true);
    }
    masterGain_->processAudio(mixBus_->channels(), outputs, frames, false);
    if (recorder_) recorder_->processAudio(outputs, nullptr, frames, false);
    if (leftMeter_ && rightMeter_ && info_) {
        leftMeter_->update(outputs[0], frames, info_->sampleRate, info_->blockDuration);
        rightMeter_->update(outputs[1], frames, info_->sampleRate, info_->blockDuration);
    }
}

} // namespace vantor
