#include "devices/DeviceManager.h"

#include "engineapi/EngineOpcodes.h"
#include "devices/AudioDevice.h"
#include "devices/MIDIDeviceFactory.h"
#include "devices/PaHostApi.h"
#include "graph/DSPInfo.h"
#include "graph/Factory.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"

#include <string_view>

namespace vantor {

namespace {

const std::string kDashLine(79, '-');

std::function<void(int)>& midiEnableHook() {
    static std::function<void(int)> hook;
    return hook;
}

DeviceManager::OfflineThreadMaker& offlineThreadMaker() {
    static DeviceManager::OfflineThreadMaker maker;
    return maker;
}

// The library's host-API type to our code; -1 for a kind this host does not play through.
int hostApiCodeOf(PaHostApiTypeId type) {
    switch (type) {
    case paDirectSound:
        return kHostApiDirectSound;
    case paMME:
        return kHostApiMME;
    case paASIO:
        return kHostApiASIO;
    case paCoreAudio:
        return kHostApiCoreAudio;
    case paWASAPI:
        return kHostApiWASAPI;
    case paALSA:
        return kHostApiALSA;
    case paJACK:
        return kHostApiJACK;
    case paOSS:
        return kHostApiOSS;
    default:
        return -1;
    }
}

} // namespace

void DeviceManager::setOfflineThreadMaker(OfflineThreadMaker maker) {
    offlineThreadMaker() = std::move(maker);
}

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() {
    close();
}

void DeviceManager::debugPrint(const char* text) {
    if (!text) return;
    std::string_view line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    logInfo(line);
}

void DeviceManager::init(bool withDevices) {
    closed_ = false;
    if (!withDevices) {
        logInfo("Offline rendering only: no audio or MIDI device is used");
        return;
    }
    logInfo("Using ", Pa_GetVersionText());
    routeAudioLibraryDebugOutput(&DeviceManager::debugPrint);
    logInfo("Initialising Devices...");
    logInfo(kDashLine);
    try {
        const PaError error = Pa_Initialize();
        if (error != paNoError)
            logError("Pa_Initialize Error number: ", error, " Error message: ", Pa_GetErrorText(error));
        else
            libraryStarted_ = true;
    } catch (...) {
        logError("Unknown exception while calling Pa_Initialize()!");
    }
    logInfo("Passed Pa_Initialize()");
    enumerateAudio();
    enumerateMidi();
}

int DeviceManager::enumerateAudio() {
    logInfo("Now enumerating Audio Devices...");
    const PaDeviceIndex count = Pa_GetDeviceCount();
    logInfo("Passed Pa_CountDevices()");
    if (count < 0) {
        logError("ERROR: Pa_CountDevices returned ", count);
        logError("An error occured while using the portaudio stream");
        logError("Error number: ", count, " Error message: ", Pa_GetErrorText(count));
        return 0;
    }
    logInfo("Found ", count, " :");
    audio_.reserve(static_cast<size_t>(count));
    for (PaDeviceIndex i = 0; i < count; ++i) {
        audio_.push_back(std::make_unique<AudioDeviceEntry>());
        AudioDeviceEntry& entry = *audio_.back();
        logInfo(kDashLine);
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info) {
            logError("Dev:", i, " pointer is null! skipping device");
            continue;
        }
        entry.free = entry.usable = entry.listed = true;
        entry.inputs = info->maxInputChannels;
        entry.outputs = info->maxOutputChannels;
        entry.latencies = {info->defaultLowInputLatency, info->defaultLowOutputLatency,
                           info->defaultHighInputLatency, info->defaultHighOutputLatency};
        entry.defaultSampleRate = info->defaultSampleRate;
        logInfo("Dev:", i);
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        const int type = api ? static_cast<int>(api->type) : -1;
        entry.apiName = api && api->name ? api->name : "";
        entry.hostApiCode = api ? hostApiCodeOf(api->type) : -1;
        if (entry.hostApiCode < 0) {
            entry.usable = entry.listed = false;
            logError("Dev:", i, " unsupported host API(", type, ") skipping");
            continue;
        }
        const std::string name = info->name ? info->name : "";
        entry.name = name;
        if (entry.inputs <= 0 && entry.outputs <= 0) {
            logError("This device is way screwed up!");
            entry.name = name + "(BAD)";
            entry.listed = false;
        } else if (entry.inputs <= 0) {
            entry.kind = 1;
            entry.outputDeviceIndex = i;
        } else if (entry.outputs <= 0) {
            entry.kind = 0;
            entry.inputDeviceIndex = i;
            entry.listed = false;
        } else {
            entry.kind = 2;
            entry.inputDeviceIndex = entry.outputDeviceIndex = i;
        }
        logInfo("API  = ", entry.apiName);
        logInfo("Name = ", entry.name, " Max Inputs   = ", entry.inputs, ", Max Outputs = ", entry.outputs);
        logInfo("Default LowInputLatency:", entry.latencies[0]);
        logInfo("Default LowOutputLatency:", entry.latencies[1]);
        logInfo("Default HighInputLatency:", entry.latencies[2]);
        logInfo("Default HighOutputLatency:", entry.latencies[3]);
        logInfo("Default SampleRate:", entry.defaultSampleRate);
        logInfo(kDashLine);
        if (entry.outputs == 1) {
            logInfo("mono output device, do not use!");
            entry.usable = entry.listed = false;
        }
    }
    logInfo(kDashLine);
    return count;
}

std::string DeviceManager::registerUniqueName(bool input, const std::string& name) {
    std::set<std::string>& names = input ? inputNames_ : outputNames_;
    std::string unique = name;
    for (int n = 1; names.count(unique); ++n)
        unique = name + "_" + std::to_string(n);
    names.insert(unique);
    return unique;
}

MidiDeviceEntry* DeviceManager::addMidiRecord(int portId) {
    const std::optional<MIDIPortInfo> port = findMIDIPort(portId);
    if (!port) return nullptr;
    auto entry = std::make_unique<MidiDeviceEntry>();
    entry->interfaceName = port->api;
    entry->hasInput = port->ins;
    entry->hasOutput = port->outs;
    entry->portId = portId;
    entry->free = true;
    entry->working = port->working;
    if (port->outs) {
        entry->kind = 1;
        entry->uniqueName = registerUniqueName(false, port->name);
        entry->displayName = entry->uniqueName + "(out)";
    } else if (port->ins) {
        entry->kind = 0;
        entry->uniqueName = registerUniqueName(true, port->name);
        entry->displayName = entry->uniqueName + "(in)";
    } else {
        entry->kind = 0;
        entry->uniqueName = port->name;
        entry->displayName = port->name;
    }
    MidiDeviceEntry* raw = entry.get();
    midi_[portId] = std::move(entry);
    return raw;
}

void DeviceManager::enumerateMidi() {
    logInfo("Now enumerating MIDI Devices...");
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    std::vector<int32_t> ids;
    listMIDIPorts(ids);
    for (int32_t id : ids)
        addMidiRecord(id);
    midiEnumerated_.store(true, std::memory_order_release);
    int j = 0;
    for (const auto& [id, entry] : midi_) {
        if (!entry->hasInput && !entry->hasOutput)
            logError("MIDI_", j, " interf:*", entry->interfaceName, "* device is VERY strange");
        else
            logInfo("MIDI_", j, " interf:*", entry->interfaceName, "* ", entry->displayName);
        logInfo(kDashLine);
        ++j;
    }
}

void DeviceManager::close() {
    if (closed_) return;
    closed_ = true;
    logInfo("DeviceManager::close() in");
    for (auto& entry : audio_) {
        if (!entry->free && entry->usable && entry->module) {
            // A device the graph still holds is the graph's to delete; deleting it here as well
            // would free it twice. Either way its destructor releases the record.
            AudioDevice* module = entry->module;
            GraphManager* graph = GraphManager::peek();
            if (graph && graph->getAudioDevice() == module)
                graph->setAudioDevice(nullptr);
            else
                delete module;
            entry->module = nullptr;
        }
    }
    // Terminating the library frees every stream it still has, so the devices (which close their
    // streams) go first.
    try {
        if (libraryStarted_) Pa_Terminate();
        libraryStarted_ = false;
    } catch (...) {
        logError("ERROR: DeviceManager::close() Unknown exception in Pa_Terminate()");
    }
    logInfo("Passed Pa_Terminate()");
    audio_.clear();
    midiEnumerated_.store(false, std::memory_order_release);
    std::unique_lock<std::recursive_mutex> midiGuard(midiPortsLock());
    midi_.clear();
    inputNames_.clear();
    outputNames_.clear();
    reconnect_.clear();
    midiGuard.unlock();
    for (auto& [context, record] : contexts_)
        if (record->offlineThread) record->offlineThread->end();
    contexts_.clear();
    logInfo("DeviceManager::close() out");
}

void DeviceManager::registerContext(Instance* context) {
    if (!context || contexts_.count(context)) return;
    contexts_[context] = std::make_unique<ContextRecord>(context);
}

void DeviceManager::removeContext(Instance* context) {
    auto it = contexts_.find(context);
    if (it == contexts_.end()) return;
    if (it->second->offlineThread) {
        it->second->offlineThread->stop();
        it->second->offlineThread->end();
    }
    contexts_.erase(it);
}

DeviceManager::ContextRecord* DeviceManager::contextRecord(Instance* context) {
    auto it = contexts_.find(context);
    return it == contexts_.end() ? nullptr : it->second.get();
}

bool DeviceManager::isPlaying(Instance* context, bool lock) {
    ContextRecord* record = contextRecord(context);
    if (!record) return false;
    if (!lock) return record->playing.load(std::memory_order_acquire);
    VxMutexLocker locker(record->psr);
    return record->playing.load(std::memory_order_acquire);
}

bool DeviceManager::requestPlayStop(Instance* context, bool play) {
    ContextRecord* record = contextRecord(context);
    if (!record) return false;
    VxMutexLocker locker(record->psr);
    logInfo("###### PSR LOCK ACQUIRED ######");
    bool result = false;
    const bool playing = record->playing.load(std::memory_order_acquire);
    if (play) {
        if (playing) {
            logError("no play when playing");
        } else {
            logInfo("playReq 1");
            logInfo("playReq 2");
            result = privPlay(*record);
            logInfo("playReq 3");
        }
    } else if (playing) {
        logInfo("stopReq 1");
        result = privStop(*record);
        logInfo("stopReq 2");
        logInfo("stopReq 3");
    } else {
        logError("no stop when not playing");
    }
    logInfo("###### PSR LOCK RELEASED ###### sc:", result ? 1 : 0);
    return result;
}

bool DeviceManager::privPlay(ContextRecord& record) {
    logInfo("DeviceManager::privPlay()");
    bool result = false;
    DSPInfo* info = record.context->getDSPInfo();
    if (!info || !info->isOffline()) {
        for (auto& entry : audio_)
            if (!entry->free && entry->usable && entry->module) result = entry->module->onPlay();
    } else if (record.offlineThread) {
        result = record.offlineThread->play();
    }
    record.playing.store(result, std::memory_order_release);
    return result;
}

bool DeviceManager::privStop(ContextRecord& record) {
    logInfo("DeviceManager::privStop()");
    bool result = false;
    DSPInfo* info = record.context->getDSPInfo();
    if (!info || !info->isOffline()) {
        for (auto& entry : audio_)
            if (!entry->free && entry->usable && entry->module) result = entry->module->onStop();
    } else if (record.offlineThread && record.offlineThread->isRendering()) {
        result = record.offlineThread->stop();
    }
    if (result) record.cpuLoad.store(0.0f, std::memory_order_relaxed);
    record.playing.store(!result, std::memory_order_release);
    logInfo("DeviceManager::privStop(), exiting, stateChanged:", result ? 1 : 0);
    return result;
}

void DeviceManager::setOffline(Instance* context, bool on) {
    ContextRecord* record = contextRecord(context);
    if (!record) return;
    VxMutexLocker locker(record->psr);
    logInfo("###### PSR LOCK ACQUIRED for setOffline ######");
    logInfo("DeviceManager::setOffline(", on ? 1 : 0, ")");
    if (record->offlineThread) {
        record->offlineThread->stop();
        record->offlineThread->end();
        record->offlineThread.reset();
    }
    if (on && offlineThreadMaker()) record->offlineThread = offlineThreadMaker()(context);
    logInfo("###### PSR LOCK RELEASED for setOffline ######");
}

bool DeviceManager::canOpenAudio(Instance* context, int index) {
    ContextRecord* record = contextRecord(context);
    AudioDeviceEntry* entry = audioRecord(index);
    if (!record || !entry || record->audioOpen || entry->outputs < 1) return false;
    record->audioIndex = index;
    record->audioOpen = true;
    return true;
}

void DeviceManager::storeAudioModule(int index, AudioDevice* module) {
    if (AudioDeviceEntry* entry = audioRecord(index)) entry->module = module;
}

void DeviceManager::markAudioAcquired(Instance*, int index) {
    if (AudioDeviceEntry* entry = audioRecord(index)) entry->free = false;
}

void DeviceManager::releaseAudio(Instance* context, int index) {
    if (ContextRecord* record = contextRecord(context))
        if (record->audioIndex == index) record->audioOpen = false;
    if (AudioDeviceEntry* entry = audioRecord(index)) {
        entry->free = true;
        entry->module = nullptr;
    }
}

void DeviceManager::markMidiAcquired(int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    if (MidiDeviceEntry* entry = midiRecord(portId)) entry->free = false;
}

void DeviceManager::midiReleased(Instance*, int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    MidiDeviceEntry* entry = midiRecord(portId);
    if (!entry) return;
    logInfo("DeviceManager : ", entry->uniqueName, " was deallocated");
    entry->free = true;
    entry->module = nullptr;
}

void DeviceManager::storeMidiModule(int portId, Module* module) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    if (MidiDeviceEntry* entry = midiRecord(portId)) entry->module = module;
}

void DeviceManager::addFrames(Instance* context) {
    ContextRecord* record = contextRecord(context);
    DSPInfo* info = context ? context->getDSPInfo() : nullptr;
    if (record && info) addFrames(record, info->blockSize);
}

void DeviceManager::setCpuLoad(Instance* context, float load) {
    setCpuLoad(contextRecord(context), load);
}

uint64_t DeviceManager::framesProcessed(Instance* context) {
    ContextRecord* record = contextRecord(context);
    return record ? record->framesProcessed.load(std::memory_order_relaxed) : 0;
}

float DeviceManager::cpuLoad(Instance* context) {
    ContextRecord* record = contextRecord(context);
    return record ? record->cpuLoad.load(std::memory_order_relaxed) : 0.0f;
}

AudioDeviceEntry* DeviceManager::audioRecord(int index) {
    if (index < 0 || static_cast<size_t>(index) >= audio_.size()) return nullptr;
    return audio_[static_cast<size_t>(index)].get();
}

MidiDeviceEntry* DeviceManager::midiRecord(int portId) {
    auto it = midi_.find(portId);
    return it == midi_.end() ? nullptr : it->second.get();
}

std::vector<int> DeviceManager::midiPortIds() const {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    std::vector<int> ids;
    ids.reserve(midi_.size());
    for (const auto& [id, entry] : midi_)
        ids.push_back(id);
    return ids;
}

void DeviceManager::midiPortRemoved(int portId, bool dropFromPortTable) {
    // No enable of this port can come between the check below and the disable.
    std::lock_guard<std::recursive_mutex> changing(midiDevicesLock());
    std::unique_lock<std::recursive_mutex> guard(midiPortsLock());
    MidiDeviceEntry* entry = midiRecord(portId);
    if (!entry) {
        if (dropFromPortTable) eraseMIDIPort(portId);
        return;
    }
    if (!entry->free && entry->working) {
        const std::string uniqueName = entry->uniqueName;
        const int direction = entry->hasInput ? 1 : 0;
        logInfo("removed MIDI Device is used : ", uniqueName);
        // The opcodes reach the graph: the port lists' lock is never held across them.
        guard.unlock();
        // Keep the engine's remember value so the device comes back as it was.
        int value = 1;
        std::vector<UsedMidiDevice> used;
        engineOpcode(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiAll, 0, 0, 0.0f);
        for (const UsedMidiDevice& device : used)
            if (device.id == portId) value = device.value;
        engineOpcode(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, portId, -1, 0, 0.0f);
        guard.lock();
        reconnect_.push_back(Reconnect{direction, uniqueName, value});
        entry = midiRecord(portId);
        if (!entry) {
            if (dropFromPortTable) eraseMIDIPort(portId);
            return;
        }
    }
    if (MIDIDeviceFactory* factory = MIDIDeviceFactory::peek()) factory->removePort(portId);
    if (entry->hasOutput)
        outputNames_.erase(entry->uniqueName);
    else if (entry->hasInput)
        inputNames_.erase(entry->uniqueName);
    midi_.erase(portId);
    // The port table loses the entry in the same step, so no reader sees one list without the other.
    if (dropFromPortTable) eraseMIDIPort(portId);
}

std::optional<int> DeviceManager::admitMidiPort(int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    if (midiRecord(portId)) return std::nullopt; // already known
    MidiDeviceEntry* entry = addMidiRecord(portId);
    if (!entry) return std::nullopt;
    if (MIDIDeviceFactory* factory = MIDIDeviceFactory::peek()) factory->registerPort(portId);
    const int direction = entry->hasInput ? 1 : 0;
    for (auto it = reconnect_.begin(); it != reconnect_.end(); ++it) {
        if (it->direction != direction || it->uniqueName != entry->uniqueName) continue;
        const int value = it->value;
        reconnect_.erase(it);
        return value;
    }
    return std::nullopt;
}

void DeviceManager::reconnectMidiPort(int portId, int value) {
    // The device enabled here is started before any other thread's disable can delete it.
    std::lock_guard<std::recursive_mutex> changing(midiDevicesLock());
    engineOpcode(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, portId, 1, value, 0.0f);
    Module* module = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
        MidiDeviceEntry* entry = midiRecord(portId);
        if (!entry) return;
        logInfo("newly connected device is re-enabled : ", entry->uniqueName);
        if (entry->free || !entry->working || !entry->module) return;
        module = entry->module;
    }
    // A port that returns while audio is stopped stays silent until audio starts (the start then
    // cuts whatever it queued); while audio runs it plays at once.
    if (isPlaying(module->getContext(), false)) module->start();
}

void DeviceManager::setMidiEnableHook(std::function<void(int portId)> hook) {
    midiEnableHook() = std::move(hook);
}

std::recursive_mutex& DeviceManager::midiDevicesLock() {
    static std::recursive_mutex lock;
    return lock;
}

int32_t DeviceManager::enableMidiDevice(Instance& context, GraphManager& graph, int portId, int value) {
    std::lock_guard<std::recursive_mutex> changing(midiDevicesLock());
    // Creating, opening and marking the device see one state of the port lists; the graph is
    // reached after that lock is let go.
    std::unique_lock<std::recursive_mutex> guard(midiPortsLock());
    MIDIDeviceFactory* factory = MIDIDeviceFactory::peek();
    if (!factory) return kEngineFailed;
    Module* module = nullptr;
    try {
        module = factory->createByPortId(&context, portId);
    } catch (const std::exception& e) {
        logError("VE_ENGINE_MIDIDEVICE_ENABLE: ", e.what());
        return kEngineFailed;
    }
    auto* device = dynamic_cast<MIDIDevice*>(module);
    if (!device) {
        delete module;
        return kEngineFailed;
    }
    if (!device->init(&context, context.getDSPInfo())) {
        logError("MIDIDevice can't be loaded!, choose another");
        delete device;
        return kEngineMidiDeviceFailed;
    }
    device->markAcquired();
    guard.unlock();
    if (midiEnableHook()) midiEnableHook()(portId);
    graph.addMidiDevice(portId, device, value);
    return kEngineOk;
}

void DeviceManager::disableMidiDevice(GraphManager& graph, int portId) {
    std::lock_guard<std::recursive_mutex> changing(midiDevicesLock());
    graph.removeMidiDevice(portId);
}

void DeviceManager::midiPortArrived(int portId) {
    if (const std::optional<int> value = admitMidiPort(portId)) reconnectMidiPort(portId, *value);
}

} // namespace vantor
