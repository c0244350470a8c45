// The audio device opcodes (280-290) and audio start / stop / state (300-302).
//
// Everything that needs the device manager or the audio device factory answers failure until
// those exist: no device can be selected, so the graph never holds one and nothing plays. The
// opcodes that need only the context and the graph (deselecting the device, the stream settings)
// work already.
#include "bridge/EngineDispatch.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"

namespace vantor::dispatch {

namespace {

// Blocks longer than this are no audio interface's; a block size is the length of every scratch
// buffer the graph allocates, so an absurd value must not reach it.
constexpr int32_t kMaxBlockSize = 65536;

int32_t audioDeviceSettings(EngineManager& manager, const OpcodeCall& call) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    if (!context || !graph || isPlaying(manager)) return kEngineFailed;
    if (call.i2 <= 0 || call.i2 > kMaxBlockSize) {
        logError("VE_ENGINE_AUDIODEVICE_SETTINGS, invalid buffer size ", call.i2);
        return kEngineFailed;
    }
    // With a device, its sample-rate list decides the rate here; without one the stream
    // description's own rule applies.
    context->resetStaticDSP(static_cast<double>(call.i1), static_cast<uint32_t>(call.i2));
    graph->setDSPInfo(context->getDSPInfo());
    return kEngineOk;
}

} // namespace

bool isPlaying(EngineManager&) {
    return false;
}

bool audioDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_AUDIODEVICE_LIST:
        // Count mode without a count is refused before anything else; the list itself comes from
        // the audio device factory.
        result = kEngineFailed;
        return true;

    case VE_ENGINE_AUDIODEVICE_SET: {
        GraphManager* graph = liveGraph(manager);
        if (!graph || isPlaying(manager)) {
            result = kEngineFailed;
            return true;
        }
        graph->setAudioDevice(nullptr);
        // Any other id needs the audio device factory to create the device.
        result = call.i1 == -1 ? kEngineOk : kEngineFailed;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_GET: {
        GraphManager* graph = liveGraph(manager);
        if (!call.p1 || !graph) {
            result = kEngineFailed;
            return true;
        }
        *static_cast<int32_t*>(call.p1) = -1;
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_AUDIODEVICE_SHOWPANEL:
    case VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST:
    case VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST:
    case VE_ENGINE_AUDIODEVICE_LATENCY_GET:
    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET:
        // Each needs a device.
        result = kEngineFailed;
        return true;

    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET:
        result = kEngineNoResult; // no device
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

    case VE_ENGINE_AUDIO_START:
    case VE_ENGINE_AUDIO_STOP:
        // Playing and stopping go through the device manager's serialised requests.
        result = kEngineAudioRefused;
        return true;

    case VE_ENGINE_AUDIO_ISPLAYING:
        // The answer comes from the device manager.
        result = kEngineFailed;
        return true;

    default:
        return false;
    }
}

} // namespace vantor::dispatch
