#include "offline/OfflineThread.h"

#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"
#include "threads/Clock.h"
#include "threads/Sync.h"
#include "threads/ThreadDetached.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <thread>

namespace vantor {

struct OfflineThread::State {
    // Both conditions exist before the body starts, so play can signal at any time.
    Condition wake{"Offline"};
    Condition idle{"OfflineIdle"};
    std::atomic<bool> running{false};
    std::atomic<bool> dying{false};
    // Set by the body around its look at running; stop waits until it is clear (see Entry).
    std::atomic<bool> busy{false};
    std::atomic<bool> started{false};
    std::atomic<bool> exited{false};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> failedBlocks{0};
    std::atomic<uint64_t> reportedFailures{0};
    // Written by play while the body is idle, published by the release store of running.
    Instance* context = nullptr;
    GraphManager* graph = nullptr;
    DeviceManager::ContextRecord* record = nullptr;
    std::unique_ptr<float[]> buffer; // 2 x capacity floats, both channels in one block
    uint32_t capacity = 0;
    uint32_t frames = 0;
    BlockObserver observer = nullptr;
    void* observerUser = nullptr;
};

class OfflineThread::Body final : public ThreadDetached {
public:
    explicit Body(std::shared_ptr<State> state) : state_(std::move(state)) { setPriority(kPriority); }

protected:
    void Entry() override {
        State& s = *state_;
        while (!s.dying.load(std::memory_order_acquire)) {
            // busy and running are sequentially consistent: either stop sees busy set, or this
            // thread sees running cleared and renders nothing more.
            s.busy.store(true, std::memory_order_seq_cst);
            if (s.running.load(std::memory_order_seq_cst)) {
                renderBlock(s);
                s.busy.store(false, std::memory_order_seq_cst);
                if (!s.running.load(std::memory_order_acquire)) s.idle.signalQuiet();
                std::this_thread::yield();
            } else {
                s.busy.store(false, std::memory_order_seq_cst);
                s.idle.signalQuiet();
                s.wake.waitFor(1);
            }
        }
    }

    void onExit() override {
        State& s = *state_;
        s.buffer.reset();
        s.capacity = 0;
        s.exited.store(true, std::memory_order_release);
        s.idle.signalQuiet();
    }

private:
    static void renderBlock(State& s) {
        float* channels[2] = {s.buffer.get(), s.buffer.get() + s.capacity};
        const uint32_t frames = s.frames;
        try {
            std::memset(s.buffer.get(), 0, sizeof(float) * 2 * s.capacity);
            GraphManager* graph = s.graph ? s.graph : GraphManager::peek();
            if (graph) graph->process(channels, frames);
            DeviceManager::addFrames(s.record, frames);
        } catch (const std::exception& e) {
            // Only the first failure of a run is logged here; stop reports how many there were.
            if (s.failedBlocks.fetch_add(1, std::memory_order_relaxed) == 0)
                logError("OfflineThread: exception in block: ", e.what());
        } catch (...) {
            if (s.failedBlocks.fetch_add(1, std::memory_order_relaxed) == 0)
                logError("OfflineThread: unknown exception in block");
        }
        const uint64_t n = s.blocks.fetch_add(1, std::memory_order_relaxed) + 1;
        if (s.observer) s.observer(s.observerUser, n);
    }

    std::shared_ptr<State> state_;
};

OfflineThread::OfflineThread(Instance* context, GraphManager* graph) : state_(std::make_shared<State>()) {
    setContext(context);
    state_->context = context;
    state_->graph = graph;
    if (DeviceManager* devices = DeviceManager::peek()) state_->record = devices->contextRecord(context);
    auto* body = new Body(state_);
    if (body->start()) {
        state_->started.store(true, std::memory_order_release);
    } else {
        // It never ran, so it cannot delete itself.
        delete body;
        state_->exited.store(true, std::memory_order_release);
        logError("OfflineThread: the render thread could not be started");
    }
}

OfflineThread::~OfflineThread() {
    if (!ended_) end();
}

bool OfflineThread::play() {
    State& s = *state_;
    if (!started() || ended_) return false;
    // The body is idle (never played, or stop waited for it), so the buffers are ours to change.
    Instance* context = getContext();
    const DSPInfo* info = context ? context->getDSPInfo() : nullptr;
    const uint32_t frames = info && info->blockSize > 0 ? info->blockSize : 512;
    if (frames > s.capacity) {
        s.buffer.reset(new float[2 * static_cast<size_t>(frames)]);
        s.capacity = frames;
    }
    s.frames = frames;
    s.failedBlocks.store(0, std::memory_order_relaxed);
    s.running.store(true, std::memory_order_seq_cst);
    s.wake.signalQuiet();
    return true;
}

bool OfflineThread::waitForIdle(const char* what) {
    State& s = *state_;
    const double deadline = secondsClock() + kBlockWaitSeconds;
    while (s.busy.load(std::memory_order_seq_cst) && !s.exited.load(std::memory_order_acquire)) {
        if (secondsClock() > deadline) {
            logError("OfflineThread::", what, ": the current block did not finish within ", kBlockWaitSeconds,
                     " s");
            return false;
        }
        s.idle.waitFor(5);
    }
    return true;
}

bool OfflineThread::stop() {
    State& s = *state_;
    s.running.store(false, std::memory_order_seq_cst);
    const bool idle = waitForIdle("stop");
    const uint64_t failed = s.failedBlocks.exchange(0, std::memory_order_relaxed);
    if (failed > 1) logError("OfflineThread: ", failed, " blocks failed with an exception");
    return idle;
}

void OfflineThread::die() {
    State& s = *state_;
    s.running.store(false, std::memory_order_seq_cst);
    s.dying.store(true, std::memory_order_release);
    s.wake.signalQuiet();
}

void OfflineThread::end() {
    if (ended_) return;
    ended_ = true;
    die();
    waitForIdle("end");
}

bool OfflineThread::isRunning() const {
    return state_->running.load(std::memory_order_acquire);
}

bool OfflineThread::started() const {
    return state_->started.load(std::memory_order_acquire);
}

uint64_t OfflineThread::blocks() const {
    return state_->blocks.load(std::memory_order_relaxed);
}

void OfflineThread::setBlockObserver(BlockObserver observer, void* user) {
    state_->observer = observer;
    state_->observerUser = user;
}

} // namespace vantor
