// The offline render thread: renders the graph's blocks back to back, without an audio device,
// while the instance is offline (DeviceManager::setOffline creates one and drops it).
//
// Ownership: the device manager owns this controller through its unique_ptr; the thread body is a
// self-deleting ThreadDetached. The two share only a reference-counted state, so neither ever
// deletes the other and the state outlives whichever ends last.
//
// Threads: play / stop / die / end run on the opcode thread (under the device manager's play/stop
// lock); the body reads the flags with acquire loads and never waits while it renders. stop and
// end return only once the body has left the block it was in, so the caller may change the
// stream description and buffers right after.
#pragma once

#include "devices/DeviceManager.h"
#include "graph/Module.h"

#include <cstdint>
#include <memory>

namespace vantor {

class GraphManager;
class Instance;

class OfflineThread final : public OfflineRenderThread, public Contextual {
public:
    // Called on the render thread after every block with the number of blocks rendered so far
    // (tests count allocations from there). Set before play.
    using BlockObserver = void (*)(void* user, uint64_t blocks);

    static constexpr uint32_t kPriority = 60;
    // How long stop / end wait for a block to finish before giving up with an error line.
    static constexpr double kBlockWaitSeconds = 10.0;

    // graph: the graph to render; null means the process's GraphManager, looked up per block.
    explicit OfflineThread(Instance* context, GraphManager* graph = nullptr);
    ~OfflineThread() override; // ends the thread if end() was not called

    bool play() override;
    bool stop() override;
    bool isRendering() const override { return isRunning(); }
    void end() override;

    // Clears running and sets die; does not wait.
    void die();
    bool isRunning() const;
    // False when the system refused to create the thread.
    bool started() const;
    uint64_t blocks() const;
    void setBlockObserver(BlockObserver observer, void* user);

    struct State;

private:
    class Body;
    bool waitForIdle(const char* what);

    std::shared_ptr<State> state_;
    bool ended_ = false;
};

} // namespace vantor
