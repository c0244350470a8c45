// The process-wide owner of the machine's audio and MIDI devices and of the decision when audio
// runs.
//
// At engine initialisation it starts the audio I/O library, enumerates its devices into the audio
// table and copies the MIDI port table into the MIDI table. Per context it keeps a play state and
// serialises play, stop and offline switching under the context's "psr" lock, starts and stops
// the audio device (or the offline render thread), counts processed frames and keeps the CPU
// load; at most one audio device is open per context.
//
// Threads: everything here runs on the opcode thread except addFrames / setCpuLoad (audio or
// offline thread, lock-free atomics) and the accessors the audio device reads when it is chosen.
// The audio table never changes size between init and close, so record pointers stay valid.
#pragma once

#include "util/Singleton.h"
#include "threads/Sync.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

class AudioDevice;
class GraphManager;
class Instance;
class Module;

// What the device manager needs of the offline render thread; the offline renderer provides the
// implementation through DeviceManager::setOfflineThreadMaker.
class OfflineRenderThread {
public:
    virtual ~OfflineRenderThread() = default;
    // Allocates its buffers, starts rendering; true once it runs.
    virtual bool play() = 0;
    // Clears its running flag; true once it has stopped.
    virtual bool stop() = 0;
    virtual bool isRendering() const = 0;
    // Tells the thread to end; it is not used afterwards.
    virtual void end() = 0;
};

struct AudioDeviceEntry {
    AudioDevice* module = nullptr; // the module opened on this device
    int kind = 0;                  // 0 input only, 1 output only, 2 duplex
    std::string name;              // "(BAD)" appended for a device without channels
    std::string apiName;
    int hostApiCode = -1;              // HostApiCode
    std::array<double, 4> latencies{}; // low in, low out, high in, high out (seconds)
    double defaultSampleRate = 0.0;
    int inputDeviceIndex = -1;
    int outputDeviceIndex = -1;
    int inputs = 0;
    int outputs = 0;
    bool free = false;
    bool usable = false;
    bool listed = false;
};

struct MidiDeviceEntry {
    Module* module = nullptr; // the MIDIDevice opened on the port
    int kind = 0;             // 1 when the port has an output, else 0
    std::string displayName;  // unique name + "(in)" / "(out)"
    std::string uniqueName;
    int hasInput = 0;
    int hasOutput = 0;
    int portId = -1;
    bool free = true;
    bool working = false;
    std::string interfaceName;
};

class DeviceManager : public Singleton<DeviceManager> {
public:
    // One per context: its play state and its lock.
    struct ContextRecord {
        explicit ContextRecord(Instance* c) : context(c), psr("psr") {}
        Instance* context;
        std::unique_ptr<OfflineRenderThread> offlineThread;
        bool audioOpen = false;
        int audioIndex = -1;
        std::atomic<bool> playing{false};
        std::atomic<uint64_t> framesProcessed{0};
        std::atomic<float> cpuLoad{0.0f};
        Mutex psr;
    };

    using OfflineThreadMaker = std::function<std::unique_ptr<OfflineRenderThread>(Instance*)>;
    // Who builds the offline render thread (set once by the offline renderer).
    static void setOfflineThreadMaker(OfflineThreadMaker maker);

    DeviceManager();
    ~DeviceManager() override; // runs close()
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // Starts the library and enumerates audio and MIDI devices. Once, at engine initialisation.
    // Without devices (offline rendering only) the library is never initialised and both device
    // tables stay empty: nothing of the sound system is loaded, probed or printed.
    void init(bool withDevices = true);
    // Shuts the library down and forgets every device and context. Idempotent.
    void close();

    void registerContext(Instance* context);
    void removeContext(Instance* context);
    ContextRecord* contextRecord(Instance* context);

    bool isPlaying(Instance* context, bool lock);
    // The serialised play or stop request; true when the state changed.
    bool requestPlayStop(Instance* context, bool play);
    void setOffline(Instance* context, bool on);

    // False when the context already has an audio device open or the device has no output;
    // otherwise records the index as the context's open device.
    bool canOpenAudio(Instance* context, int index);
    void storeAudioModule(int index, AudioDevice* module);
    void markAudioAcquired(Instance* context, int index);
    void releaseAudio(Instance* context, int index);

    void markMidiAcquired(int portId);
    void midiReleased(Instance* context, int portId);
    void storeMidiModule(int portId, Module* module);

    // Audio or offline thread: frames processed += the current block size / the given frames.
    void addFrames(Instance* context);
    static void addFrames(ContextRecord* record, uint32_t frames) {
        if (record) record->framesProcessed.fetch_add(frames, std::memory_order_relaxed);
    }
    void setCpuLoad(Instance* context, float load);
    static void setCpuLoad(ContextRecord* record, float load) {
        if (record) record->cpuLoad.store(load, std::memory_order_relaxed);
    }
    uint64_t framesProcessed(Instance* context);
    float cpuLoad(Instance* context);

    int audioDeviceCount() const { return static_cast<int>(audio_.size()); }
    AudioDeviceEntry* audioRecord(int index);
    // MIDI records: hold midiPortsLock() while using the pointer on a thread other than the
    // window thread's hot-plug.
    MidiDeviceEntry* midiRecord(int portId);
    // Port ids of the MIDI table in ascending order.
    std::vector<int> midiPortIds() const;

    // True between the MIDI enumeration of init and close.
    bool midiEnumerated() const { return midiEnumerated_.load(std::memory_order_acquire); }
    // Hot-plug (window thread): a port that vanished / appeared. With dropFromPortTable the port
    // table's entry goes in the same hold of midiPortsLock() as the record. midiPortArrived is
    // admit then, for a port that was in use when it vanished, reconnect.
    void midiPortRemoved(int portId, bool dropFromPortTable = false);
    void midiPortArrived(int portId);
    // The MIDI devices of the graph are opened for it and closed here only (the enable opcode,
    // which hot-plug also sends). enable: the device for `portId` created, opened, marked in use
    // and added to `graph` with the engine's `value`; the opcode's result code.
    static int32_t enableMidiDevice(Instance& context, GraphManager& graph, int portId, int value);
    static void disableMidiDevice(GraphManager& graph, int portId);
    // Held from start to end by every change of the graph's MIDI devices: enable, disable, a
    // hot-plug pass (with the disable and reconnect it sends), their start and stop with audio.
    // So no thread deletes a device another is starting, and no port goes between a device's
    // opening and its joining the graph. Taken before midiPortsLock() and the graph's lock, never
    // while holding either; recursive (a pass sends the enable opcode).
    static std::recursive_mutex& midiDevicesLock();
    // Tests: run by enableMidiDevice between opening a device and handing it to the graph, with
    // its port id (a pause there). Set it while no enable runs; empty removes it.
    static void setMidiEnableHook(std::function<void(int portId)> hook);
    // Records an arrived port (the port table already has it) and names it; hold midiPortsLock()
    // to make it one step with the table's insertion. The engine's remember value when the port
    // is one that vanished while in use.
    std::optional<int> admitMidiPort(int portId);
    // Enables the returning port in the engine again (never under midiPortsLock()); it plays at
    // once only while audio runs.
    void reconnectMidiPort(int portId, int value);
    // A port that vanished while in use: its direction (1 input), unique name and the value the
    // engine gave when it enabled the device, handed back when the port returns.
    struct Reconnect {
        int direction;
        std::string uniqueName;
        int value;
    };
    const std::vector<Reconnect>& reconnectList() const { return reconnect_; }

    // Run on the library's debug output: each text becomes an information line.
    static void debugPrint(const char* text);

private:
    int enumerateAudio();
    void enumerateMidi();
    MidiDeviceEntry* addMidiRecord(int portId);
    std::string registerUniqueName(bool input, const std::string& name);
    bool privPlay(ContextRecord& record);
    bool privStop(ContextRecord& record);

    std::vector<std::unique_ptr<AudioDeviceEntry>> audio_;
    std::map<int, std::unique_ptr<MidiDeviceEntry>> midi_;
    std::set<std::string> inputNames_;
    std::set<std::string> outputNames_;
    std::vector<Reconnect> reconnect_;
    std::map<Instance*, std::unique_ptr<ContextRecord>> contexts_;
    bool libraryStarted_ = false;
    bool closed_ = false;
    std::atomic<bool> midiEnumerated_{false};
};

// Routes the library's debug output into the log where the library offers the hook; false where
// it does not (platform seam). On Windows the ASIO layer under the library reports here as well:
// its lines go to the log, its drivers' requests to reopen the stream to devices/AudioRestart.h.
bool routeAudioLibraryDebugOutput(void (*print)(const char*));

} // namespace vantor
