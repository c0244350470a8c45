// The owner behind engineOpcode: the app data folder, the application's argument list, the log
// and, between VE_ENGINE_INITIALIZE and VE_ENGINE_SHUTDOWN, the processing context. Created by
// the first engineOpcode call of the process (which opens the log), destroyed right after
// VE_ENGINE_SHUTDOWN (which closes it).
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "util/Singleton.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace vantor {

class ConsoleLogger;
class Instance;

// One engineOpcode call, as the dispatcher's groups see it.
struct OpcodeCall {
    int32_t opcode;
    void* p1;
    void* p2;
    int32_t i1;
    int32_t i2;
    int32_t i3;
    float f;
};

class EngineManager : public Singleton<EngineManager> {
public:
    EngineManager();
    ~EngineManager() override;
    EngineManager(const EngineManager&) = delete;
    EngineManager& operator=(const EngineManager&) = delete;

    // Writes the opcode's information line and runs it. Opcodes that need the context answer
    // without it unless the bridge is initialised and not tearing down.
    int32_t dispatch(const OpcodeCall& call);

    const std::u16string& appDataFolder() const { return appDataFolder_; }

    void setArguments(const AppArgumentList& arguments);
    AppArgumentList arguments() const;

    // The context while initialised, else null. Read from any thread; the opcode thread sets it.
    Instance* context() const { return context_.load(std::memory_order_acquire); }

    // VE_ENGINE_INITIALIZE (with its EngineStartFlags) / VE_ENGINE_SHUTDOWN.
    int32_t initialize(int32_t startFlags = 0);
    int32_t shutdown();
    // The EngineStartFlags of the running initialisation.
    int32_t startFlags() const { return startFlags_.load(std::memory_order_acquire); }

private:
    // Runs the opcode on what exists now, for the manager's own calls during teardown.
    int32_t run(const OpcodeCall& call);
    // Stops audio and destroys what initialize built, in that order.
    void tearDown();

    std::u16string appDataFolder_;
    mutable std::mutex argumentsLock_; // an engine thread may read while the host sets them
    AppArgumentList arguments_;
    std::unique_ptr<ConsoleLogger> logger_;
    std::atomic<Instance*> context_{nullptr};
    std::atomic<int32_t> startFlags_{0};
};

// engineOpcode without its exception boundary: gets (or creates) the manager and dispatches. A
// call in flight keeps the manager and, when it uses them, the context, graph and devices alive:
// INITIALIZE and SHUTDOWN wait for other threads' calls; calls that come during either, or while
// the manager is destroyed, answer as before initialisation or wait for the next manager.
int32_t callEngineOpcode(const OpcodeCall& call);

} // namespace vantor
