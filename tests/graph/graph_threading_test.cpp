#include "graph/GraphManager.h"
#include "bridge/HostComposition.h"
#include "graph/Instance.h"

#include "GraphDoubles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quorvel::test;
using vantor::GraphManager;
using vantor::Instance;

namespace {

// An instrument whose destruction holds the graph lock until the audio thread has come back with
// `blocks` skipped blocks (or two seconds passed): removing it shows that process returns at once
// while a change runs, however late a loaded machine schedules the audio thread.
class SlowToDestroy : public FakeInstrument {
public:
    SlowToDestroy(const GraphManager& graph, uint64_t blocks) : graph_(graph), blocks_(blocks) {}
    ~SlowToDestroy() override {
        const uint64_t target = graph_.skippedBlocks() + blocks_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (graph_.skippedBlocks() < target && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    const GraphManager& graph_;
    uint64_t blocks_;
};

} // namespace

// One thread reshapes the graph while another renders back to back. Every skipped block must
// overlap a change (the change counter is odd, or moved, around it), and process never waits.
TEST(GraphThreadingTest, ChangesWhileProcessingNeverCrashOrWait) {
    Instance instance;
    instance.init();
    GraphManager graph;
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    FakeFileSource file;
    file.repeat = true;
    file.queue(noteOn(0, 60, 100, 5));
    graph.setFileEventSource(&file);

    std::atomic<uint64_t> changeSeq{0}; // odd while a change is running
    std::atomic<bool> done{false};
    std::atomic<uint64_t> unexplainedSkips{0};
    std::atomic<uint64_t> processed{0};

    std::thread audio([&] {
        StereoOut out(512);
        while (!done.load(std::memory_order_acquire)) {
            const uint64_t before = changeSeq.load(std::memory_order_acquire);
            const uint64_t skippedBefore = graph.skippedBlocks();
            graph.process(out.ptrs, 512);
            const uint64_t after = changeSeq.load(std::memory_order_acquire);
            if (graph.skippedBlocks() != skippedBefore && before == after && (before & 1) == 0)
                unexplainedSkips.fetch_add(1);
            processed.fetch_add(1, std::memory_order_relaxed);
        }
    });

    auto change = [&](auto&& fn) {
        changeSeq.fetch_add(1, std::memory_order_acq_rel);
        fn();
        changeSeq.fetch_add(1, std::memory_order_acq_rel);
    };
    for (int round = 0; round < 300; ++round) {
        change([&] { graph.addInstrument(0, new FakeInstrument()); });
        change([&] {
            auto* input = new FakeMidiDevice(true);
            input->repeat = true;
            input->queue(noteOn(1, 64, 90, 7));
            graph.addMidiDevice(round % 4, input, 1);
        });
        change([&] { graph.addMidiDevice(10 + round % 3, new FakeMidiDevice(false), 0); });
        change([&] { graph.addInstrument(1 + round % 2, new FakeInstrument()); });
        // Leave the audio thread room to take the lock: back-to-back changes can starve it (a
        // Windows critical section is re-entered by its last owner at once).
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        change([&] { graph.removeMidiDevice((round + 2) % 4); });
        change([&] { graph.removeInstrument(0); });
        change([&] { graph.removeInstrument(1 + round % 2); });
        change([&] { graph.setAudioDevice(round % 2 ? new FakeInstrument() : nullptr); });
    }

    // Blocks render between changes (bounded wait: a loaded machine may not have scheduled any yet).
    for (int i = 0; i < 500 && graph.renderedBlocks() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // A change that holds the lock until the audio thread has returned without the lock 10 times.
    change([&] { graph.addInstrument(7, new SlowToDestroy(graph, 10)); });
    const uint64_t skippedBefore = graph.skippedBlocks();
    change([&] { graph.removeInstrument(7); });
    const uint64_t skippedDuringSlowChange = graph.skippedBlocks() - skippedBefore;

    done.store(true, std::memory_order_release);
    audio.join();

    EXPECT_EQ(unexplainedSkips.load(), 0u);
    EXPECT_GT(processed.load(), 0u);
    EXPECT_GT(graph.renderedBlocks(), 0u);
    // The blocks returned at once while the lock was held.
    EXPECT_GE(skippedDuringSlowChange, 10u);
}
