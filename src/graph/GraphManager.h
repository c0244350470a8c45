// The processing graph: audio device, MIDI devices, instrument slots with one gain stage each, the
// master gain, the MIDI file player, the recorder and two level meters. process() renders one
// block on the audio or offline thread; everything else runs on the opcode thread.
//
// Changes to the maps hold the "Graph" lock; process() only tries it and returns at once when it
// is busy (the caller's cleared outputs make that block silent).
//
// Events per slot: each slot's array is reserved when the slot is created, and again whenever a
// MIDI input is added, for kBaseEventReserve records (the MIDI file player's share of a block plus
// headroom) plus maxBlockEvents() of every MIDI input, so the steady state never allocates. An
// unusually dense block that still exceeds the reserve grows the array once; its capacity is kept.
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "util/Singleton.h"
#include "graph/AudioStatKeeper.h"
#include "graph/MidiEvent.h"
#include "graph/Module.h"
#include "graph/MultichannelBuffer.h"
#include "graph/StereoGainModule.h"
#include "threads/Sync.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace vantor {

class Instance;
class DSPInfo;
class MIDIFilePlayer;
class StereoFileOutputModule;
class MidiBlockSource;

// What process() asks of the MIDI file player each block. The graph's own player serves by
// default; tests (and tools) can put another source in its place with setFileEventSource.
class FileEventSource {
public:
    virtual ~FileEventSource() = default;
    // Advances by one block and appends that block's events.
    virtual void advanceAndGetEvents(MidiEventArray& events) = 0;
    // 0..1; exactly 1.0 at the end of the file.
    virtual double getPosition() = 0;
};

class GraphManager : public Singleton<GraphManager> {
public:
    static constexpr size_t kBaseEventReserve = 4096;

    GraphManager();
    ~GraphManager() override;
    GraphManager(const GraphManager&) = delete;
    GraphManager& operator=(const GraphManager&) = delete;

    // Stores both; creates the scratch buffers, the master gain and the meters, and takes over the
    // MIDI file player and the recorder it is handed (owned; either may be null: such a graph plays
    // no file or records nothing), initialising them. Once, after the Instance exists.
    void init(Instance* context, DSPInfo* info, MIDIFilePlayer* player = nullptr,
              StereoFileOutputModule* recorder = nullptr);

    // Destroys the current device (if any) and keeps the new one (owned; null allowed).
    void setAudioDevice(Module* device);
    Module* getAudioDevice();

    // Owned from here on. Kept as an input when the module is a MidiBlockSource whose kind is
    // input, otherwise as an output. A device already under that id is destroyed and replaced.
    void addMidiDevice(int id, Module* device, int value);
    void removeMidiDevice(int id);
    Module* findMidiDevice(int id); // inputs first, then outputs
    // kind 0: inputs, 1: outputs, 2: both (inputs first); each in ascending id order. Appends.
    void listMidiDevices(std::vector<UsedMidiDevice>& out, int kind);

    // The caller has already called init and start on the instrument. Owned once accepted.
    bool addInstrument(int slot, Module* instrument);
    bool removeInstrument(int slot);
    bool showInstrumentUI(int slot, void* parent);
    bool closeInstrumentUI(int slot);
    bool saveInstrumentChunk(int slot, void** data, int32_t* size);
    bool saveInstrumentChunkEnd(int slot);
    bool loadInstrumentChunk(int slot, const void* data, int32_t size);
    Module* getInstrument(int slot);

    // start/stop on every instrument, then every MIDI input, then every MIDI output.
    void startAll();
    void stopAll();
    // Hands a new description to every module, then re-creates the scratch buffers. Only while
    // audio is stopped; takes no lock.
    void setDSPInfo(DSPInfo* info);
    DSPInfo* getDSPInfo() { return info_; }
    Instance* getContext() { return context_; }

    // Audio/offline thread. outputs: stereo pointer array of `frames` samples each. Blocks longer
    // than the block size are rendered in block-size pieces.
    void process(float** outputs, uint32_t frames);

    MIDIFilePlayer* getMidiFilePlayer();
    // Not owned; null restores the graph's own player. Under the graph lock.
    void setFileEventSource(FileEventSource* source);
    StereoFileOutputModule* getRecorder();
    StereoGainModule* getMasterGain() { return masterGain_.get(); }
    StereoGainModule* getInstrumentGain(int slot);
    const AudioStatKeeper* getLeftMeter() const { return leftMeter_.get(); }
    const AudioStatKeeper* getRightMeter() const { return rightMeter_.get(); }

    // Blocks rendered and blocks skipped because a change held the lock.
    uint64_t renderedBlocks() const { return rendered_.load(std::memory_order_relaxed); }
    uint64_t skippedBlocks() const { return skipped_.load(std::memory_order_relaxed); }

    Mutex& graphLock() { return *lock_; }

private:
    struct MidiEntry {
        std::unique_ptr<Module> device;
        MidiBlockSource* source; // the device's input side, null for outputs
        int value;
    };

    // Out of the maps; the caller deletes it once the graph's lock is let go.
    std::unique_ptr<Module> takeMidiDevice(int id);
    void processPiece(float** outputs, uint32_t frames);
    void createScratchBuffers(uint32_t frames);
    size_t eventReserve() const;
    void reserveEvents(MidiEventArray& events) const;
    void sortEvents(MidiEventArray& events);

    std::unique_ptr<Module> audioDevice_;
    std::map<int, MidiEntry> midiInputs_;
    std::map<int, MidiEntry> midiOutputs_;
    std::unique_ptr<MultichannelBuffer> instrumentBuffer_;
    std::unique_ptr<MultichannelBuffer> mixBus_;
    std::map<int, std::unique_ptr<Module>> instruments_;
    std::map<int, MidiEventArray> events_;
    std::map<int, std::unique_ptr<StereoGainModule>> gains_;
    std::unique_ptr<StereoGainModule> masterGain_;
    std::unique_ptr<MIDIFilePlayer> player_;
    std::unique_ptr<StereoFileOutputModule> recorder_;
    std::unique_ptr<AudioStatKeeper> leftMeter_;
    std::unique_ptr<AudioStatKeeper> rightMeter_;
    std::unique_ptr<FileEventSource> playerSource_; // adapter around player_
    FileEventSource* fileSource_ = nullptr;         // what process() uses; null without a player
    MidiEventArray sortScratch_; // merge sort's second buffer, same capacity as the slot arrays
    double transportTime_ = 0.0;
    Instance* context_ = nullptr;
    DSPInfo* info_ = nullptr;
    std::unique_ptr<Mutex> lock_;
    std::atomic<uint64_t> rendered_{0};
    std::atomic<uint64_t> skipped_{0};
};

} // namespace vantor
