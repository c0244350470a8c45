#include "bridge/EngineManager.h"
#include "bridge/AppDataFolder.h"
#include "bridge/EngineDispatch.h"
#include "bridge/HostComposition.h"
#include "devices/DeviceManager.h"
#include "devices/MIDIDeviceFactory.h"
#include "graph/Factory.h"
#include "midi/MIDIPortTable.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/ConsoleLogger.h"
#include "log/Log.h"
#include "recording/Streamer.h"

#include <algorithm>
#include <cstring>
#include <cstdio>

namespace vantor {

EngineManager::EngineManager() : appDataFolder_(::vantor::appDataFolder()) {
    if (appDataFolder_.empty()) {
        std::fputs("can't get app support path\n", stdout);
        std::fflush(stdout);
    }
    logger_ = std::make_unique<ConsoleLogger>(ConsoleLogger::composePath(appDataFolder_));
}

EngineManager::~EngineManager() {
    // A manager destroyed without a shutdown (a process ending early) still releases the context.
    if (context_.load(std::memory_order_acquire)) shutdown();
    logger_.reset();
}

void EngineManager::setArguments(const AppArgumentList& arguments) {
    std::lock_guard<std::mutex> lock(argumentsLock_);
    arguments_ = arguments;
}

AppArgumentList EngineManager::arguments() const {
    std::lock_guard<std::mutex> lock(argumentsLock_);
    return arguments_;
}

namespace {

// Before VE_ENGINE_INITIALIZE and after VE_ENGINE_SHUTDOWN (an engine may call from its own thread
// at any time) every opcode that needs the context answers here, touching nothing: 1, or its own
// refusal or no-result code. False for the opcodes that work without a context.
bool answerWithoutContext(const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_VERSION:
    case VE_ENGINE_INITIALIZE:
    case VE_ENGINE_SHUTDOWN:
    case VE_ENGINE_APP_ARGUMENTS_SET:
    case VE_ENGINE_APP_ARGUMENTS_GET:
        return false;
    case VE_ENGINE_IDLE:
    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET:
    case VE_ENGINE_INSTRUMENT_ADD:
        result = kEngineNoResult;
        return true;
    case VE_ENGINE_MIDI_LOAD:
        result = call.p1 ? kEngineFailed : kEngineNoResult;
        return true;
    case VE_ENGINE_AUDIO_START:
    case VE_ENGINE_AUDIO_STOP:
        result = kEngineAudioRefused;
        return true;
    default:
        if (!engineOpcodeLogName(call.opcode) && call.opcode != VE_ENGINE_MIDI_POSITION_GET &&
            call.opcode != VE_ENGINE_RECORDING_ISRECORDING)
            return false; // unknown: the dispatcher answers 3
        result = kEngineFailed;
        return true;
    }
}

} // namespace

int32_t EngineManager::dispatch(const OpcodeCall& call) {
    if (const char* name = engineOpcodeLogName(call.opcode)) logInfo(name);
    int32_t result = kEngineNoResult;
    if (!context() && answerWithoutContext(call, result)) return result;
    if (dispatch::lifecycleOpcodes(*this, call, result) ||
        dispatch::audioDeviceOpcodes(*this, call, result) || dispatch::midiFileOpcodes(*this, call, result) ||
        dispatch::instrumentOpcodes(*this, call, result) ||
        dispatch::midiDeviceOpcodes(*this, call, result) || dispatch::recordingOpcodes(*this, call, result))
        return result;
    return kEngineNoResult;
}

int32_t EngineManager::initialize() {
    if (context_.load(std::memory_order_acquire)) {
        // A second initialisation would orphan the running context and everything built on it.
        logError("VE_ENGINE_INITIALIZE: already initialized");
        return kEngineFailed;
    }
    installCoreHooks();
    auto* context = new Instance();
    context->init();
    if (DeviceManager* devices = DeviceManager::get()) {
        devices->init();
        devices->registerContext(context);
    }
    Factory::get();
    if (GraphManager* graph = GraphManager::get())
        graph->init(context, context->getDSPInfo(), makeMidiFilePlayer(), makeRecorder());
    // The disk streamer starts its thread on first use.
    Streamer::get();
    context_.store(context, std::memory_order_release);
    logInfo("VE_ENGINE_INITIALIZE OK");
    return kEngineOk;
}

int32_t EngineManager::shutdown() {
    dispatch(OpcodeCall{VE_ENGINE_AUDIO_STOP, nullptr, nullptr, 0, 0, 0, 0.0f});
    // The next initialisation enumerates the ports afresh (their ids keep counting).
    clearMIDIPorts();
    // Engine threads calling in from now on find no context and touch nothing.
    Instance* context = context_.exchange(nullptr, std::memory_order_acq_rel);
    GraphManager::destroy();
    if (DeviceManager* devices = DeviceManager::peek()) devices->removeContext(context);
    DeviceManager::destroy();
    Factory::destroy();
    MIDIDeviceFactory::destroy();
    // The disk streamer writes what is still queued, dies and deletes itself.
    Streamer::shutdown();
    delete context;
    return kEngineOk;
}

namespace dispatch {
GraphManager* liveGraph(EngineManager& manager) {
    return manager.context() ? GraphManager::peek() : nullptr;
}

void copyName(char* out, size_t capacity, const std::string& name) {
    size_t length = std::min(name.size(), capacity - 1);
    if (length < name.size())
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    std::memcpy(out, name.data(), length);
    out[length] = '\0';
}
} // namespace dispatch

} // namespace vantor

extern "C" QUORVEL_HOST_EXPORT int32_t engineOpcode(int32_t opcode, void* p1, void* p2, int32_t i1,
                                                    int32_t i2, int32_t i3, float f) {
    using vantor::EngineManager;
    EngineManager* manager = EngineManager::get();
    if (!manager) return vantor::kEngineNoResult; // called back while the manager is being built
    int32_t result = manager->dispatch(vantor::OpcodeCall{opcode, p1, p2, i1, i2, i3, f});
    if (opcode == vantor::VE_ENGINE_SHUTDOWN) EngineManager::destroy();
    return result;
}
