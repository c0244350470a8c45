// The audio device opcodes (280-290) and audio start / stop / state (300-302).
#include "bridge/EngineDispatch.h"
#include "devices/AudioDevice.h"
#include "devices/AudioDeviceFactory.h"
#include "devices/DeviceManager.h"
#include "graph/Factory.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vantor::dispatch {

namespace {

AudioDevice* currentDevice(EngineManager& manager) {
    GraphManager* graph = liveGraph(manager);
    return graph ? dynamic_cast<AudioDevice*>(graph->getAudioDevice()) : nullptr;
}

AudioDeviceFactory* audioFactory() {
    Factory* registry = Factory::peek();
    return registry ? dynamic_cast<AudioDeviceFactory*>(registry->audioDeviceFactory()) : nullptr;
}

int32_t recordApiCode(int hostApiCode) {
    switch (hostApiCode) {
    case kHostApiMME:
        return kAudioApiMME;
    case kHostApiDirectSound:
        return kAudioApiDirectSound;
    case kHostApiASIO:
        return kAudioApiASIO;
    case kHostApiCoreAudio:
        return kAudioApiCoreAudio;
    case kHostApiWASAPI:
        return kAudioApiWASAPI;
    default:
        return 0; // the kinds of other systems
    }
}

int32_t listAudioDevices(const OpcodeCall& call) {
    std::vector<int> indices;
    if (AudioDeviceFactory* factory = audioFactory()) factory->listDeviceIndices(indices);
    auto* out = static_cast<AudioDeviceRecord*>(call.p1);
    DeviceManager* devices = DeviceManager::peek();
    return answerListBy(
        indices.size(), out != nullptr, static_cast<int32_t*>(call.p2), call.i1, [&](size_t i) {
            const AudioDeviceEntry* entry = devices ? devices->audioRecord(indices[i]) : nullptr;
            AudioDeviceRecord& record = out[i];
            // Field by field: the padding stays as the caller left it.
            record.id = indices[i];
            record.api = entry ? recordApiCode(entry->hostApiCode) : 0;
            copyName(record.name, sizeof(record.name), entry ? entry->name : std::string());
            record.hasControlPanel = record.api == kAudioApiASIO ? 1 : 0;
            record.defaultSampleRate = entry ? static_cast<int32_t>(entry->defaultSampleRate) : 0;
            record.outputs = entry ? entry->outputs : 0;
        });
}

int32_t setAudioDevice(EngineManager& manager, const OpcodeCall& call) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    if (!context || !graph || isPlaying(manager)) return kEngineFailed;
    graph->setAudioDevice(nullptr);
    if (call.i1 == -1) return kEngineOk;
    AudioDeviceFactory* factory = audioFactory();
    if (!factory) return kEngineFailed;
    AudioDevice* device = nullptr;
    try {
        device = factory->createByIndex(context, call.i1);
    } catch (const InstantiationException& e) {
        logError("VE_ENGINE_AUDIODEVICE_SET: ", e.what());
        return kEngineFailed;
    }
    if (!device) return kEngineFailed;
    device->init(context, context->getDSPInfo());
    device->choose();
    graph->setAudioDevice(device);
    return kEngineOk;
}

template <class Lister>
int32_t listOfDevice(EngineManager& manager, const OpcodeCall& call, const char* failed1, const char* failed2,
                     Lister lister) {
    AudioDevice* device = currentDevice(manager);
    std::vector<int32_t> values;
    std::vector<int> raw;
    if (!device || !lister(*device, raw)) {
        logError(call.p1 ? failed2 : failed1);
        return kEngineFailed;
    }
    values.assign(raw.begin(), raw.end());
    return answerList(values, static_cast<int32_t*>(call.p1), static_cast<int32_t*>(call.p2), call.i1);
}

int32_t audioDeviceSettings(EngineManager& manager, const OpcodeCall& call) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    if (!context || !graph || isPlaying(manager)) return kEngineFailed;
    // A block is the length of every buffer of the graph and the stream: 0 would overrun the
    // device's buffers and a negative or huge one cannot be allocated.
    if (call.i2 < static_cast<int32_t>(AudioDevice::kMinBlockSize) ||
        call.i2 > static_cast<int32_t>(AudioDevice::kMaxBlockSize)) {
        logError("VE_ENGINE_AUDIODEVICE_SETTINGS, invalid buffer size ", call.i2);
        return kEngineFailed;
    }
    int rate = call.i1;
    if (AudioDevice* device = currentDevice(manager)) {
        std::vector<int> rates;
        if (!device->listAvailableSampleRates(rates) || rates.empty()) {
            logError("VE_ENGINE_AUDIODEVICE_SETTINGS, SEVERE DEVICE ERROR");
            return kEngineFailed;
        }
        if (std::find(rates.begin(), rates.end(), rate) == rates.end()) {
            logError("VE_ENGINE_AUDIODEVICE_SETTINGS, current device does NOT support ", call.i1,
                     "Hz, reverting to ", rates.front());
            rate = rates.front();
        }
    }
    context->resetStaticDSP(static_cast<double>(rate), static_cast<uint32_t>(call.i2));
    graph->setDSPInfo(context->getDSPInfo());
    return kEngineOk;
}

// Starts or stops every module of the graph; meanwhile no other thread's disable deletes a MIDI
// device.
void startOrStopAll(GraphManager& graph, bool start) {
    std::lock_guard<std::recursive_mutex> changing(DeviceManager::midiDevicesLock());
    if (start)
        graph.startAll();
    else
        graph.stopAll();
}

int32_t startAudio(EngineManager& manager) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    DeviceManager* devices = DeviceManager::peek();
    if (!context || !graph || !devices) return kEngineAudioRefused;
    const bool offline = context->getDSPInfo()->isOffline();
    if ((!currentDevice(manager) && !offline) || isPlaying(manager)) return kEngineAudioRefused;
    startOrStopAll(*graph, true);
    if (devices->requestPlayStop(context, true)) return kEngineOk;
    // Audio does not run: stop what was started, or the MIDI inputs would go on receiving with
    // nobody reading them.
    startOrStopAll(*graph, false);
    return kEngineAudioRefused;
}

int32_t stopAudio(EngineManager& manager) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    DeviceManager* devices = DeviceManager::peek();
    if (!context || !graph || !devices) return kEngineAudioRefused;
    const bool offline = context->getDSPInfo()->isOffline();
    if ((!currentDevice(manager) && !offline) || !isPlaying(manager)) return kEngineAudioRefused;
    const bool stopped = devices->requestPlayStop(context, false);
    startOrStopAll(*graph, false);
    return stopped ? kEngineOk : kEngineAudioRefused;
}

} // namespace

bool isPlaying(EngineManager& manager) {
    Instance* context = manager.context();
    DeviceManager* devices = DeviceManager::peek();
    return context && devices && devices->isPlaying(context, true);
}

bool audioDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_AUDIODEVICE_LIST:
        result = listAudioDevices(call);
        return true;

    case VE_ENGINE_AUDIODEVICE_SET:
        result = setAudioDevice(manager, call);
        return true;

    case VE_ENGINE_AUDIODEVICE_GET: {
        if (!call.p1) {
            result = kEngineFailed;
            return true;
        }
        auto* out = static_cast<int32_t*>(call.p1);
        *out = -1;
        if (AudioDevice* device = currentDevice(manager)) *out = device->getDeviceIndex();
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_SHOWPANEL: {
        AudioDevice* device = currentDevice(manager);
        result = call.p1 && device && !isPlaying(manager) && device->showControlPanel(call.p1)
                     ? kEngineOk
                     : kEngineFailed;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST:
        result = listOfDevice(
            manager, call, "VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST failed1",
            "VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST failed2",
            [](AudioDevice& device, std::vector<int>& out) { return device.listAvailableSampleRates(out); });
        return true;

    case VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST:
        result = listOfDevice(
            manager, call, "VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST failed1",
            "VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST failed2",
            [](AudioDevice& device, std::vector<int>& out) { return device.listAvailableBufferSizes(out); });
        return true;

    case VE_ENGINE_AUDIODEVICE_SETTINGS:
        result = audioDeviceSettings(manager, call);
        return true;

    case VE_ENGINE_AUDIODEVICE_SETTINGS_GET: {
        Instance* context = manager.context();
        if (!call.p1 || !call.p2 || !context) {
            result = kEngineFailed;
            return true;
        }
        const DSPInfo* info = context->getDSPInfo();
        *static_cast<int32_t*>(call.p1) = static_cast<int32_t>(info->sampleRateInt);
        *static_cast<int32_t*>(call.p2) = static_cast<int32_t>(info->blockSize);
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET: {
        AudioDevice* device = currentDevice(manager);
        if (!device || isPlaying(manager)) {
            result = kEngineNoResult;
            return true;
        }
        result = device->setOutputStereoPair(call.i1) ? kEngineOk : kEngineFailed;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_LATENCY_GET: {
        AudioDevice* device = currentDevice(manager);
        float latency = 0.0f;
        if (!call.p1 || !device || !isPlaying(manager) || !device->getLatency(latency)) {
            result = kEngineFailed;
            return true;
        }
        *static_cast<float*>(call.p1) = latency;
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET: {
        AudioDevice* device = currentDevice(manager);
        if (!call.p1 || !device) {
            result = kEngineFailed;
            return true;
        }
        *static_cast<int32_t*>(call.p1) = device->getOutputStereoPair();
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_AUDIO_START:
        result = startAudio(manager);
        return true;

    case VE_ENGINE_AUDIO_STOP:
        result = stopAudio(manager);
        return true;

    case VE_ENGINE_AUDIO_ISPLAYING:
        if (!call.p1) {
            result = kEngineFailed;
            return true;
        }
        *static_cast<bool*>(call.p1) = isPlaying(manager);
        result = kEngineOk;
        return true;

    default:
        return false;
    }
}

} // namespace vantor::dispatch
