#include "graph/DSPInfo.h"
#include "bridge/HostComposition.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "midifile/MIDIFilePlayer.h"
#include "recording/StereoFileOutputModule.h"

#include "GraphDoubles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

using namespace quorvel::test;
using vantor::DSPInfo;
using vantor::GraphManager;
using vantor::Instance;
using vantor::UsedMidiDevice;

namespace {

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        instance.init();
        graph = std::make_unique<GraphManager>();
        graph->init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
        graph->setFileEventSource(&file);
    }
    void TearDown() override { graph.reset(); }

    // Adds an instrument whose gain stage is already at 1, and lets the master gain reach 1 too.
    FakeInstrument* addSettledInstrument(int slot = 0) {
        auto* inst = new FakeInstrument();
        EXPECT_TRUE(graph->addInstrument(slot, inst));
        StereoOut out(blockSize());
        graph->process(out.ptrs, blockSize());
        return inst;
    }
    uint32_t blockSize() { return instance.getDSPInfo()->blockSize; }

    Instance instance;
    FakeFileSource file;
    CallLog log; // outlives the graph: modules write to it when destroyed
    std::unique_ptr<GraphManager> graph;
};

} // namespace

TEST_F(GraphTest, BlockWithoutInstrumentIsSilentAndStillMetered) {
    StereoOut out(512, 0.7f);
    graph->process(out.ptrs, 512);
    for (uint32_t i = 0; i < 512; ++i) {
        ASSERT_EQ(out.left[i], 0.0f);
        ASSERT_EQ(out.right[i], 0.0f);
    }
    EXPECT_TRUE(graph->getLeftMeter()->updated());
    EXPECT_TRUE(graph->getRightMeter()->updated());
    EXPECT_EQ(graph->getLeftMeter()->level(), 0.0f);
    EXPECT_EQ(graph->renderedBlocks(), 1u);
    EXPECT_EQ(file.advances.load(), 0u); // no instrument: the file does not move
}

TEST_F(GraphTest, FirstHalfBlockRampsTheMasterGainToHalf) {
    auto* inst = new FakeInstrument();
    ASSERT_TRUE(graph->addInstrument(0, inst));
    StereoOut out(256);
    graph->process(out.ptrs, 256);
    EXPECT_EQ(graph->getMasterGain()->getCurrentGain(), 0.5f);
    EXPECT_EQ(graph->getInstrumentGain(0)->getCurrentGain(), 0.5f);
    // Both the new slot's gain and the master gain rise i/512 per sample.
    EXPECT_EQ(out.left[0], 0.0f);
    const float g = 255.0f / 512;
    EXPECT_FLOAT_EQ(out.left[255], g * g);
    EXPECT_FLOAT_EQ(out.right[255], -g * g);
}

TEST_F(GraphTest, InstrumentGetsClearedBufferTimeInfoAndNoInputs) {
    auto* inst = addSettledInstrument();
    inst->value = 0.25f;
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    EXPECT_TRUE(inst->outputsWereCleared);
    EXPECT_TRUE(inst->lastInputsWereNull);
    EXPECT_FALSE(inst->lastFlag);
    EXPECT_EQ(inst->lastTransport, 0.0);
    EXPECT_EQ(inst->lastSamplePosition, 0.0);
    EXPECT_EQ(out.left[100], 0.25f); // both gains settled at 1
    EXPECT_EQ(out.right[511], -0.25f);
}

TEST_F(GraphTest, EqualOffsetsKeepMidiInputBeforeFileOrder) {
    auto* inst = addSettledInstrument();
    auto* inputB = new FakeMidiDevice(true);
    auto* inputA = new FakeMidiDevice(true);
    graph->addMidiDevice(7, inputB, 1);
    graph->addMidiDevice(2, inputA, 1);
    file.queue(noteOn(0, 61, 100, 10));
    file.queue(noteOn(0, 62, 100, 3));
    inputB->queue(noteOn(0, 71, 100, 10));
    inputA->queue(noteOn(0, 60, 100, 10));
    inputA->queue(noteOn(0, 50, 100, 20));
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    ASSERT_EQ(inst->seenCount, 5u);
    // Sorted by offset; at offset 10: input id 2, input id 7, then the file.
    EXPECT_EQ(inst->seen[0].data1, 62);
    EXPECT_EQ(inst->seen[1].data1, 60);
    EXPECT_EQ(inst->seen[2].data1, 71);
    EXPECT_EQ(inst->seen[3].data1, 61);
    EXPECT_EQ(inst->seen[4].data1, 50);
    // The slot's array is emptied after each block.
    graph->process(out.ptrs, 512);
    EXPECT_EQ(inst->seenCount, 0u);
}

TEST_F(GraphTest, LongUnsortedBlocksSortStablyByOffset) {
    auto* inst = addSettledInstrument();
    auto* input = new FakeMidiDevice(true);
    graph->addMidiDevice(1, input, 0);
    std::mt19937 rng(42);
    std::vector<vantor::MidiEvent> expected;
    for (int i = 0; i < 64; ++i) { // 64 from the input, 64 from the file: the merge-sort path
        auto e =
            noteOn(0, static_cast<uint8_t>(i), 1, static_cast<int32_t>(rng() % 8), static_cast<float>(i));
        input->queue(e);
        expected.push_back(e);
    }
    for (int i = 0; i < 64; ++i) {
        auto e = noteOn(1, static_cast<uint8_t>(i), 1, static_cast<int32_t>(rng() % 8),
                        static_cast<float>(100 + i));
        file.queue(e);
        expected.push_back(e);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.frameOffset < b.frameOffset; });
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    ASSERT_EQ(inst->seenCount, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(inst->seen[i].frameOffset, expected[i].frameOffset) << i;
        EXPECT_EQ(inst->seen[i].noteTag, expected[i].noteTag) << i;
    }
}

TEST_F(GraphTest, FileAdvancesOncePerBlockWhateverTheNumberOfSlots) {
    auto* first = addSettledInstrument(0);
    auto* second = addSettledInstrument(5);
    const auto before = file.advances.load();
    const auto firstBlocks = first->blocks.load(), secondBlocks = second->blocks.load();
    file.queue(noteOn(0, 60, 100, 0));
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    EXPECT_EQ(file.advances.load(), before + 1);
    EXPECT_EQ(first->seenCount, 1u); // slots in ascending order: the first gets the block's events
    EXPECT_EQ(second->seenCount, 0u);
    EXPECT_EQ(first->blocks.load(), firstBlocks + 1);
    EXPECT_EQ(second->blocks.load(), secondBlocks + 1);
}

TEST_F(GraphTest, InstrumentsMixThroughTheirGains) {
    auto* a = addSettledInstrument(0);
    auto* b = addSettledInstrument(1);
    StereoOut settle(512);
    graph->process(settle.ptrs, 512); // b's gain reaches 1 in its own first block
    a->value = 0.25f;
    b->value = 0.5f;
    graph->getInstrumentGain(1)->setGain(0.5f);
    graph->process(settle.ptrs, 512);
    graph->process(settle.ptrs, 512);
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    EXPECT_FLOAT_EQ(out.left[300], 0.25f + 0.25f);
    EXPECT_FLOAT_EQ(out.right[300], -0.5f);
}

TEST_F(GraphTest, BlocksLongerThanTheBlockSizeAreRenderedInPieces) {
    instance.resetStaticDSP(48000, 256);
    graph->setDSPInfo(instance.getDSPInfo());
    auto* inst = addSettledInstrument();
    inst->frameCalls = 0;
    inst->value = 0.5f;
    StereoOut out(1000, 3.0f);
    graph->process(out.ptrs, 1000);
    ASSERT_EQ(inst->frameCalls, 4u);
    EXPECT_EQ(inst->frameLog[0], 256u);
    EXPECT_EQ(inst->frameLog[3], 1000u - 3 * 256);
    for (uint32_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out.left[i], 0.5f) << i;
    EXPECT_EQ(graph->renderedBlocks(), 2u);
}

TEST_F(GraphTest, NewDescriptionResizesScratchBuffersAndReachesEveryModule) {
    graph->setAudioDevice(new FakeModule("audio", &log));
    graph->addMidiDevice(3, new FakeMidiDevice(true, "in3", &log), 0);
    graph->addMidiDevice(1, new FakeMidiDevice(true, "in1", &log), 0);
    graph->addMidiDevice(2, new FakeMidiDevice(false, "out2", &log), 0);
    auto* inst = new FakeInstrument("inst", &log);
    ASSERT_TRUE(graph->addInstrument(0, inst));
    DSPInfo big(96000, 2048);
    graph->setDSPInfo(&big);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"audio:setDSPInfo", "in1:setDSPInfo", "in3:setDSPInfo",
                                                   "out2:setDSPInfo", "inst:setDSPInfo"}));
    EXPECT_EQ(graph->getDSPInfo(), &big);
    EXPECT_EQ(graph->getMasterGain()->dspInfo(), &big);
    EXPECT_EQ(graph->getInstrumentGain(0)->dspInfo(), &big);
    EXPECT_EQ(graph->getMidiFilePlayer()->dspInfo(), &big);
    EXPECT_EQ(graph->getRecorder()->dspInfo(), &big);
    StereoOut out(2048);
    graph->process(out.ptrs, 2048); // one piece: the scratch buffers grew
    EXPECT_EQ(inst->lastFrames, 2048u);
    graph->setDSPInfo(instance.getDSPInfo());
}

TEST_F(GraphTest, OfflineEndOfFileArmsTheRecordersStopOnSilence) {
    addSettledInstrument();
    StereoOut out(512);
    file.position = 1.0;
    graph->process(out.ptrs, 512);
    EXPECT_FALSE(graph->getRecorder()->getStopOnSilence()); // not offline
    instance.setOffline(true);
    file.position = 0.999;
    graph->process(out.ptrs, 512);
    EXPECT_FALSE(graph->getRecorder()->getStopOnSilence());
    file.position = 1.0;
    graph->process(out.ptrs, 512);
    EXPECT_TRUE(graph->getRecorder()->getStopOnSilence());
}

TEST_F(GraphTest, ClipOnTheFinalOutput) {
    auto* inst = addSettledInstrument();
    inst->value = 1.00005f;
    StereoOut out(512);
    graph->process(out.ptrs, 512);
    EXPECT_FALSE(graph->getLeftMeter()->clipped());
    inst->value = 1.0002f;
    graph->process(out.ptrs, 512);
    EXPECT_TRUE(graph->getLeftMeter()->clipped());
    EXPECT_TRUE(graph->getRightMeter()->clipped());
}

TEST_F(GraphTest, BusyLockSkipsTheBlockWithoutTouchingTheOutputs) {
    auto* inst = addSettledInstrument();
    const auto blocks = inst->blocks.load();
    graph->graphLock().Lock();
    float first = 0.0f;
    std::thread audio([&] {
        StereoOut out(512, 0.125f);
        graph->process(out.ptrs, 512);
        first = out.left[0];
    });
    audio.join();
    graph->graphLock().Unlock();
    EXPECT_EQ(first, 0.125f);
    EXPECT_EQ(inst->blocks.load(), blocks);
    EXPECT_EQ(graph->skippedBlocks(), 1u);
}

TEST_F(GraphTest, InstrumentOperationsReachTheInstrument) {
    bool destroyed = false;
    ASSERT_TRUE(graph->addInstrument(0, new FakeInstrument("inst", &log, &destroyed)));
    EXPECT_TRUE(graph->showInstrumentUI(0, nullptr));
    EXPECT_TRUE(graph->closeInstrumentUI(0));
    void* data = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(graph->saveInstrumentChunk(0, &data, &size));
    EXPECT_EQ(size, 4);
    EXPECT_TRUE(graph->saveInstrumentChunkEnd(0));
    EXPECT_TRUE(graph->loadInstrumentChunk(0, data, size));
    EXPECT_FALSE(graph->loadInstrumentChunk(0, data, 3)); // the instrument's own answer
    EXPECT_TRUE(graph->removeInstrument(0));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(log.calls, std::vector<std::string>{"inst:dtor"}); // no stop before destruction
    EXPECT_EQ(graph->getInstrumentGain(0), nullptr);
    EXPECT_EQ(graph->getInstrument(0), nullptr);
}

TEST_F(GraphTest, EmptyAndTakenSlotsAreRefusedAndChangeNothing) {
    auto* inst = new FakeInstrument();
    ASSERT_TRUE(graph->addInstrument(-3, inst)); // any int is a slot
    auto* second = new FakeInstrument();
    EXPECT_FALSE(graph->addInstrument(-3, second));
    delete second; // refused: still the caller's
    EXPECT_EQ(graph->getInstrument(-3), inst);
    EXPECT_FALSE(graph->addInstrument(4, nullptr));
    void* data = nullptr;
    int32_t size = 0;
    EXPECT_FALSE(graph->removeInstrument(0));
    EXPECT_FALSE(graph->showInstrumentUI(0, nullptr));
    EXPECT_FALSE(graph->closeInstrumentUI(0));
    EXPECT_FALSE(graph->saveInstrumentChunk(0, &data, &size));
    EXPECT_FALSE(graph->saveInstrumentChunkEnd(0));
    EXPECT_FALSE(graph->loadInstrumentChunk(0, nullptr, 0));
    EXPECT_EQ(graph->getInstrument(-3), inst);
}

TEST_F(GraphTest, MidiDevicesAreListedByKindInIdOrder) {
    graph->addMidiDevice(5, new FakeMidiDevice(true), 1);
    graph->addMidiDevice(2, new FakeMidiDevice(true), 0);
    graph->addMidiDevice(3, new FakeMidiDevice(false), 1);
    graph->addMidiDevice(9, new FakeModule("plain", &log), 7); // no MIDI source: an output
    std::vector<UsedMidiDevice> out{{-1, -1}};
    graph->listMidiDevices(out, 0);
    ASSERT_EQ(out.size(), 3u); // appended
    EXPECT_EQ(out[1].id, 2);
    EXPECT_EQ(out[1].value, 0);
    EXPECT_EQ(out[2].id, 5);
    out.clear();
    graph->listMidiDevices(out, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].id, 3);
    EXPECT_EQ(out[1].value, 7);
    out.clear();
    graph->listMidiDevices(out, 2);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].id, 2);
    EXPECT_EQ(out[1].id, 5);
    EXPECT_EQ(out[2].id, 3);
    EXPECT_EQ(out[3].id, 9);
    out.clear();
    graph->listMidiDevices(out, 3);
    EXPECT_TRUE(out.empty());
}

TEST_F(GraphTest, MidiDevicesAreFoundReplacedAndRemovedById) {
    bool firstGone = false, secondGone = false, outputGone = false;
    auto* first = new FakeMidiDevice(true, "a", nullptr, &firstGone);
    graph->addMidiDevice(4, first, 1);
    EXPECT_EQ(graph->findMidiDevice(4), first);
    auto* second = new FakeMidiDevice(false, "b", nullptr, &secondGone);
    graph->addMidiDevice(4, second, 0); // same id: the old device goes
    EXPECT_TRUE(firstGone);
    EXPECT_EQ(graph->findMidiDevice(4), second);
    std::vector<UsedMidiDevice> inputs;
    graph->listMidiDevices(inputs, 0);
    EXPECT_TRUE(inputs.empty());
    graph->addMidiDevice(6, new FakeMidiDevice(false, "c", nullptr, &outputGone), 0);
    graph->removeMidiDevice(4);
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(graph->findMidiDevice(4), nullptr);
    graph->removeMidiDevice(4); // absent: nothing happens
    graph->removeMidiDevice(6);
    EXPECT_TRUE(outputGone);
    // The audio device slot: replacing destroys the old one.
    graph->setAudioDevice(new FakeModule("dev1", &log));
    graph->setAudioDevice(nullptr);
    EXPECT_EQ(graph->getAudioDevice(), nullptr);
    EXPECT_EQ(log.calls, std::vector<std::string>{"dev1:dtor"});
}

TEST_F(GraphTest, StartAndStopGoInstrumentsThenInputsThenOutputs) {
    graph->addMidiDevice(8, new FakeMidiDevice(false, "out8", &log), 0);
    graph->addMidiDevice(3, new FakeMidiDevice(true, "in3", &log), 0);
    graph->addMidiDevice(1, new FakeMidiDevice(true, "in1", &log), 0);
    ASSERT_TRUE(graph->addInstrument(2, new FakeInstrument("inst2", &log)));
    ASSERT_TRUE(graph->addInstrument(0, new FakeInstrument("inst0", &log)));
    graph->startAll();
    graph->stopAll();
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"inst0:start", "inst2:start", "in1:start", "in3:start", "out8:start",
                                        "inst0:stop", "inst2:stop", "in1:stop", "in3:stop", "out8:stop"}));
    log.calls.clear();
    graph->setAudioDevice(new FakeModule("audio", &log));
    graph.reset();
    // Audio device first, then instruments, then inputs, then outputs.
    EXPECT_EQ(log.calls, (std::vector<std::string>{"audio:dtor", "inst0:dtor", "inst2:dtor", "in1:dtor",
                                                   "in3:dtor", "out8:dtor"}));
}

TEST(GraphManagerSingletonTest, GetCreatesOneInstanceAndDestroyForgetsIt) {
    GraphManager* first = GraphManager::get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GraphManager::get(), first);
    GraphManager::destroy();
    EXPECT_EQ(GraphManager::peek(), nullptr);
    GraphManager* second = GraphManager::get();
    ASSERT_NE(second, nullptr);
    // Not initialised: process does nothing and must not crash.
    StereoOut out(64, 0.5f);
    second->process(out.ptrs, 64);
    EXPECT_EQ(out.left[0], 0.5f);
    GraphManager::destroy();
}
