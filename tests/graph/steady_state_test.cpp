#include "graph/GraphManager.h"
#include "bridge/HostComposition.h"
#include "graph/Instance.h"
#include "graph/MIDINoteMonitor.h"

#include "GraphDoubles.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

using namespace quorvel::test;
using vantor::GraphManager;
using vantor::Instance;

// The audio path must not touch the heap once the reserves are filled: 10,000 blocks with an
// instrument, two live inputs and file events flowing, events out of order so the sort works.
TEST(GraphSteadyStateTest, ProcessAllocatesNothingAfterWarmUp) {
    Instance instance;
    instance.init();
    GraphManager graph;
    graph.init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    FakeFileSource file;
    graph.setFileEventSource(&file);
    auto* inst = new FakeInstrument();
    ASSERT_TRUE(graph.addInstrument(0, inst));
    auto* keys = new FakeMidiDevice(true);
    auto* pads = new FakeMidiDevice(true);
    graph.addMidiDevice(0, keys, 1);
    graph.addMidiDevice(1, pads, 1);
    keys->repeat = pads->repeat = file.repeat = true;
    for (int i = 0; i < 40; ++i) {
        keys->queue(noteOn(0, static_cast<uint8_t>(i), 100, (i * 37) % 512));
        pads->queue(noteOn(9, static_cast<uint8_t>(i), 100, (i * 11) % 512));
        file.queue(noteOff(1, static_cast<uint8_t>(i), 511 - i));
    }
    StereoOut out(512);
    for (int i = 0; i < 100; ++i)
        graph.process(out.ptrs, 512); // warm-up

    AllocCounter::arm();
    for (int i = 0; i < 10000; ++i)
        graph.process(out.ptrs, 512);
    const uint64_t allocations = AllocCounter::disarm();

    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(inst->blocks.load(), 10100u);
    EXPECT_EQ(inst->totalEvents, 10100u * 120);
    EXPECT_EQ(graph.skippedBlocks(), 0u);
}

TEST(GraphSteadyStateTest, NoteMonitorTracksAndFlushesWithoutAllocating) {
    vantor::MIDINoteMonitor monitor(true);
    vantor::MidiEventArray ons, offs, flushed;
    for (int ch = 0; ch < 16; ++ch)
        for (int n = 0; n < 128; ++n) {
            ons.push_back(noteOn(static_cast<uint8_t>(ch), static_cast<uint8_t>(n), 90, 0));
            if (n % 3 == 0) offs.push_back(noteOff(static_cast<uint8_t>(ch), static_cast<uint8_t>(n), 0));
        }
    flushed.reserve(monitor.maxFlushEvents());
    AllocCounter::arm();
    for (int i = 0; i < 200; ++i) {
        monitor.track(ons);
        monitor.track(offs);
        flushed.clear();
        monitor.flushNoteOffs(flushed, 0);
    }
    const uint64_t allocations = AllocCounter::disarm();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(flushed.size(), 16u * (128 - 43));
}

static void* volatile allocationSink = nullptr;

TEST(AllocCounterTest, CountsOnlyTheArmingThreadWhileArmed) {
    AllocCounter::arm();
    auto* p = new int(3);
    auto* v = new std::vector<int>(100);
    // Published so the optimiser cannot drop the new/delete pairs (it may, for new-expressions).
    allocationSink = p;
    allocationSink = v->data();
    allocationSink = v;
    const uint64_t counted = AllocCounter::disarm();
    delete v;
    delete p;
    EXPECT_GE(counted, 3u);
    EXPECT_FALSE(AllocCounter::armed());
    auto* q = new int(4); // disarmed: not counted
    delete q;
    EXPECT_EQ(AllocCounter::count(), counted);
    if (AllocCounter::countsMalloc()) {
        AllocCounter::arm();
        void* volatile m = std::malloc(10); // volatile: the pair must not be optimised away
        const uint64_t n = AllocCounter::disarm();
        std::free(m);
        EXPECT_EQ(n, 1u);
    }
}
