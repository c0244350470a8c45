// The offline render thread against a real graph: blocks flow after play and stop after stop,
// stop waits for the block in progress, a throwing block neither kills the loop nor leaves the
// graph locked, the steady state allocates nothing, and the device manager's offline switch
// creates and drops the thread through the core's hook.
#include "offline/OfflineThread.h"

#include "bridge/HostComposition.h"
#include "devices/DeviceManager.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"

#include "graph/GraphDoubles.h"
#include "support/AllocCounter.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

using namespace quorvel::test;
using vantor::GraphManager;
using vantor::Instance;
using vantor::OfflineThread;

namespace {

// Can hold the render thread inside a block, or throw from one.
class GateInstrument : public FakeInstrument {
public:
    void processBlock(MidiEventArray& events, float** inputs, float** outputs, uint32_t frames,
                      bool flag) override {
        if (throwNext.exchange(false)) throw std::runtime_error("instrument failed");
        if (hold.load()) {
            inBlock.store(true);
            while (hold.load()) std::this_thread::yield();
            inBlock.store(false);
        }
        FakeInstrument::processBlock(events, inputs, outputs, frames, flag);
    }
    std::atomic<bool> hold{false};
    std::atomic<bool> inBlock{false};
    std::atomic<bool> throwNext{false};
};

// Waits, bounded, for a condition the other thread brings about.
template <class F> bool eventually(F f, double seconds = 20.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!f()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

struct RenderGraph : ::testing::Test {
    RenderGraph() {
        instance.init();
        graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
        EXPECT_TRUE(graph.addInstrument(0, inst));
    }
    Instance instance;
    GraphManager graph;
    GateInstrument* inst = new GateInstrument(); // owned by the graph
};

} // namespace

TEST_F(RenderGraph, PlayRendersBlocksAndStopWaitsForTheBlockInProgress) {
    OfflineThread thread(&instance, &graph);
    ASSERT_TRUE(thread.started());
    EXPECT_FALSE(thread.isRunning());
    ASSERT_TRUE(thread.play());
    EXPECT_TRUE(thread.isRunning());
    ASSERT_TRUE(eventually([&] { return inst->blocks.load() >= 20; }));

    inst->hold.store(true);
    ASSERT_TRUE(eventually([&] { return inst->inBlock.load(); }));
    auto stopped = std::async(std::launch::async, [&] { return thread.stop(); });
    // Held inside the block: stop must still be waiting.
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    inst->hold.store(false);
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(stopped.get());
    EXPECT_FALSE(inst->inBlock.load());
    EXPECT_FALSE(thread.isRunning());
    // Once stop has returned, no block starts until the next play.
    const uint64_t after = inst->blocks.load();
    EXPECT_EQ(thread.blocks(), after);

    ASSERT_TRUE(thread.play());
    ASSERT_TRUE(eventually([&] { return inst->blocks.load() >= after + 10; }));
    EXPECT_TRUE(thread.stop());
    EXPECT_EQ(inst->lastFrames, instance.getDSPInfo()->blockSize);
    thread.end();
}

TEST_F(RenderGraph, AThrowingBlockIsLoggedTheLoopGoesOnAndTheGraphStaysUsable) {
    vantor::test::LogCapture log;
    OfflineThread thread(&instance, &graph);
    inst->throwNext.store(true);
    ASSERT_TRUE(thread.play());
    ASSERT_TRUE(eventually([&] { return inst->blocks.load() >= 10; }));
    EXPECT_TRUE(thread.stop());
    EXPECT_TRUE(log.has('E', "OfflineThread: exception in block: instrument failed"));
    // Another thread takes the graph lock at once: the failed block released it.
    std::atomic<bool> taken{false};
    std::thread other([&] {
        if (graph.graphLock().TryLock()) {
            taken.store(true);
            graph.graphLock().Unlock();
        }
    });
    other.join();
    EXPECT_TRUE(taken.load());
    thread.end();
}

namespace {
struct AllocProbe {
    std::atomic<uint64_t> counted{0};
    std::atomic<bool> done{false};
};
void countAllocations(void* user, uint64_t blocks) {
    auto* probe = static_cast<AllocProbe*>(user);
    if (blocks == 1) AllocCounter::arm(); // the first block may fill reserves
    if (blocks == 2001 && !probe->done.load()) {
        probe->counted.store(AllocCounter::disarm());
        probe->done.store(true);
    }
}
} // namespace

TEST_F(RenderGraph, TheRenderThreadAllocatesNothingAfterItsFirstBlock) {
    FakeFileSource file;
    file.repeat = true;
    for (int i = 0; i < 40; ++i) file.queue(noteOn(0, static_cast<uint8_t>(i), 100, (i * 13) % 512));
    graph.setFileEventSource(&file);
    AllocProbe probe;
    OfflineThread thread(&instance, &graph);
    thread.setBlockObserver(&countAllocations, &probe);
    ASSERT_TRUE(thread.play());
    ASSERT_TRUE(eventually([&] { return probe.done.load(); }));
    EXPECT_TRUE(thread.stop());
    thread.end();
    graph.setFileEventSource(nullptr);
    EXPECT_EQ(probe.counted.load(), 0u);
}

TEST(OfflineSwitchTest, DeviceManagerCreatesPlaysStopsAndDropsTheRenderThread) {
    vantor::installCoreHooks();
    Instance instance;
    instance.init();
    GraphManager& graph = *GraphManager::get();
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    auto* inst = new GateInstrument();
    ASSERT_TRUE(graph.addInstrument(0, inst));
    vantor::DeviceManager& dm = *vantor::DeviceManager::get();
    dm.registerContext(&instance);
    instance.setOffline(true);
    for (int round = 0; round < 2; ++round) {
        dm.setOffline(&instance, true);
        ASSERT_NE(dm.contextRecord(&instance)->offlineThread, nullptr);
        ASSERT_TRUE(dm.requestPlayStop(&instance, true));
        ASSERT_TRUE(eventually([&] { return dm.framesProcessed(&instance) >= 50u * 512; }));
        ASSERT_TRUE(dm.requestPlayStop(&instance, false));
        const uint64_t frames = dm.framesProcessed(&instance);
        EXPECT_EQ(frames % instance.getDSPInfo()->blockSize, 0u);
        dm.setOffline(&instance, false);
        EXPECT_EQ(dm.contextRecord(&instance)->offlineThread, nullptr);
        EXPECT_EQ(dm.framesProcessed(&instance), frames);
    }
    instance.setOffline(false);
    dm.removeContext(&instance);
    GraphManager::destroy();
    vantor::DeviceManager::destroy();
}
