#include "bridge/EngineManager.h"
#include "app/UserMessage.h"
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
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

namespace vantor {

namespace {

// Counts the calls that passed it until they leave. Closing it stops new passes and waits until
// every call of another thread that passed has left, so what those calls use outlives them. Lock-
// free on the way in and out while it is open: an engine may call from its audio thread. A thread's
// own nested passes (an engine calling back while the host calls it) are not waited for: `ownDepth`
// counts them. The waits use a mutex and a condition, not std::atomic::wait, whose fallback in
// the MinGW runtime can miss a notification and hang.
class CallGate {
public:
    explicit CallGate(bool open) : open_(open) {}

    bool tryPass(int& ownDepth) {
        inside_.fetch_add(1);
        if (open_.load()) {
            ++ownDepth;
            return true;
        }
        release();
        return false;
    }
    void leave(int& ownDepth) {
        --ownDepth;
        release();
    }
    void closeAndDrain(int ownDepth) {
        open_.store(false);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return inside_.load() <= ownDepth; });
    }
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_.store(true);
        }
        changed_.notify_all();
    }
    void waitUntilOpen() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return open_.load(); });
    }

private:
    void release() {
        inside_.fetch_sub(1);
        // Seen open here means the closer's first count already excludes this call. A closer
        // checks the count under the mutex, so taking it before the notification loses none.
        if (!open_.load()) {
            { std::lock_guard<std::mutex> lock(mutex_); }
            changed_.notify_all();
        }
    }

    std::atomic<bool> open_;
    std::atomic<int> inside_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Every engineOpcode call holds the manager gate; it closes only while the manager is destroyed.
CallGate managerGate{true};
// Calls that use the context, the graph, the devices or the player hold the context gate; it is
// open only between a finished VE_ENGINE_INITIALIZE and the start of VE_ENGINE_SHUTDOWN.
CallGate contextGate{false};
thread_local int managerDepth = 0;
thread_local int contextDepth = 0;

// INITIALIZE and SHUTDOWN of different threads run one after the other.
std::mutex& lifecycleLock() {
    static std::mutex lock;
    return lock;
}
// Two threads making the first call at once both get the one manager (a re-entrant get from
// inside its construction still gets none).
std::recursive_mutex& creationLock() {
    static std::recursive_mutex lock;
    return lock;
}

class ManagerPass {
public:
    ManagerPass() {
        while (!managerGate.tryPass(managerDepth))
            managerGate.waitUntilOpen(); // a manager is being destroyed: the next one serves this call
    }
    ~ManagerPass() { leave(); }
    void leave() {
        if (held_) managerGate.leave(managerDepth);
        held_ = false;
    }

private:
    bool held_ = true;
};

class ContextPass {
public:
    ContextPass() : held_(contextGate.tryPass(contextDepth)) {}
    ~ContextPass() {
        if (held_) contextGate.leave(contextDepth);
    }
    bool held() const { return held_; }

private:
    bool held_;
};

} // namespace

EngineManager::EngineManager() : appDataFolder_(::vantor::appDataFolder()) {
    if (appDataFolder_.empty()) {
        std::fputs("can't get app support path\n", stdout);
        std::fflush(stdout);
    }
    logger_ = std::make_unique<ConsoleLogger>(ConsoleLogger::composePath(appDataFolder_));
}

EngineManager::~EngineManager() {
    // A manager destroyed without a shutdown (a process ending early) still releases the context.
    if (context_.load(std::memory_order_acquire)) {
        contextGate.closeAndDrain(contextDepth);
        tearDown();
    }
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
            call.opcode != VE_ENGINE_RECORDING_ISRECORDING && call.opcode != VE_ENGINE_RECORDING_REPORT_GET)
            return false; // unknown: the dispatcher answers 3
        result = kEngineFailed;
        return true;
    }
}

} // namespace

int32_t EngineManager::dispatch(const OpcodeCall& call) {
    if (const char* name = engineOpcodeLogName(call.opcode)) logInfo(name);
    int32_t result = kEngineNoResult;
    // During start-up and teardown, and outside them, the answer is the one without a context.
    ContextPass pass;
    if (!pass.held() && answerWithoutContext(call, result)) return result;
    return run(call);
}

int32_t EngineManager::run(const OpcodeCall& call) {
    int32_t result = kEngineNoResult;
    if (dispatch::lifecycleOpcodes(*this, call, result) ||
        dispatch::audioDeviceOpcodes(*this, call, result) || dispatch::midiFileOpcodes(*this, call, result) ||
        dispatch::instrumentOpcodes(*this, call, result) ||
        dispatch::midiDeviceOpcodes(*this, call, result) || dispatch::recordingOpcodes(*this, call, result))
        return result;
    return kEngineNoResult;
}

int32_t EngineManager::initialize(int32_t startFlags) {
    if (context_.load(std::memory_order_acquire)) {
        // A second initialisation would orphan the running context and everything built on it.
        logError("VE_ENGINE_INITIALIZE: already initialized");
        return kEngineFailed;
    }
    installCoreHooks();
    startFlags_.store(startFlags, std::memory_order_release);
    // A caller that reports failures itself has no one to click a box away.
    if (startFlags & kStartCallerReports) setMessageBoxesLoggedOnly(true);
    try {
        auto* context = new Instance();
        context_.store(context, std::memory_order_release);
        context->init();
        if (DeviceManager* devices = DeviceManager::get()) {
            devices->init((startFlags & kStartWithoutDevices) == 0);
            devices->registerContext(context);
        }
        Factory::get();
        if (GraphManager* graph = GraphManager::get())
            graph->init(context, context->getDSPInfo(), makeMidiFilePlayer(), makeRecorder());
        // The disk streamer starts its thread on first use.
        Streamer::get();
    } catch (...) {
        // Whatever was built goes again; the bridge stays uninitialised.
        if (context_.load(std::memory_order_acquire)) tearDown();
        throw;
    }
    // Calls of other threads see the context only now that everything behind it stands.
    contextGate.open();
    logInfo("VE_ENGINE_INITIALIZE OK");
    return kEngineOk;
}

int32_t EngineManager::shutdown() {
    // Calls of other threads from now on answer as before initialisation; those already under way
    // finish before anything they use goes.
    contextGate.closeAndDrain(contextDepth);
    tearDown();
    return kEngineOk;
}

void EngineManager::tearDown() {
    logInfo(engineOpcodeLogName(VE_ENGINE_AUDIO_STOP));
    run(OpcodeCall{VE_ENGINE_AUDIO_STOP, nullptr, nullptr, 0, 0, 0, 0.0f});
    // The next initialisation enumerates the ports afresh (their ids keep counting).
    clearMIDIPorts();
    Instance* context = context_.load(std::memory_order_acquire);
    GraphManager::destroy();
    if (DeviceManager* devices = DeviceManager::peek()) devices->removeContext(context);
    DeviceManager::destroy();
    Factory::destroy();
    MIDIDeviceFactory::destroy();
    // The disk streamer writes what is still queued, dies and deletes itself.
    Streamer::shutdown();
    context_.store(nullptr, std::memory_order_release);
    delete context;
    if (startFlags_.exchange(0) & kStartCallerReports) setMessageBoxesLoggedOnly(false);
}

int32_t callEngineOpcode(const OpcodeCall& call) {
    const bool lifecycle = call.opcode == VE_ENGINE_INITIALIZE || call.opcode == VE_ENGINE_SHUTDOWN;
    std::unique_lock<std::mutex> lifecycleHold;
    if (lifecycle) {
        // From inside another call on this thread (an engine calling back) it would wait for
        // itself or pull the objects from under the call it came from.
        if (managerDepth > 0) {
            logError(engineOpcodeLogName(call.opcode), " refused: called from inside another engineOpcode call");
            return kEngineFailed;
        }
        lifecycleHold = std::unique_lock<std::mutex>(lifecycleLock());
    }
    ManagerPass pass;
    EngineManager* manager = EngineManager::peek();
    if (!manager) {
        std::lock_guard<std::recursive_mutex> lock(creationLock());
        manager = EngineManager::get();
    }
    if (!manager) return kEngineNoResult; // called back while the manager is being built
    const int32_t result = manager->dispatch(call);
    if (call.opcode == VE_ENGINE_SHUTDOWN) {
        // The manager goes once no other thread's call holds it; calls arriving meanwhile wait
        // and are served by the next manager.
        pass.leave();
        managerGate.closeAndDrain(managerDepth);
        EngineManager::destroy();
        managerGate.open();
    }
    return result;
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

namespace {

// Reports an exception that reached the C boundary. Logging may itself fail for the same reason
// (no memory): then the line is dropped, never the process.
void reportEscaped(int32_t opcode, const char* what) noexcept {
    try {
        logError("engineOpcode ", opcode, " failed: ", what);
    } catch (...) {
    }
}

} // namespace

} // namespace vantor

extern "C" QUORVEL_HOST_EXPORT int32_t engineOpcode(int32_t opcode, void* p1, void* p2, int32_t i1,
                                                    int32_t i2, int32_t i3, float f) {
    // Nothing may unwind into the caller, which may be an engine compiled with another runtime.
    try {
        return vantor::callEngineOpcode(vantor::OpcodeCall{opcode, p1, p2, i1, i2, i3, f});
    } catch (const std::exception& e) {
        if (vantor::isProcessExit(std::current_exception())) throw;
        vantor::reportEscaped(opcode, e.what());
    } catch (...) {
        if (vantor::isProcessExit(std::current_exception())) throw;
        vantor::reportEscaped(opcode, "unknown exception");
    }
    return vantor::kEngineFailed;
}
