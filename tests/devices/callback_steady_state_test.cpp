// The audio callback, graph included, allocates nothing once warm.
#include "DeviceTestSupport.h"
#include "graph/GraphDoubles.h"
#include "support/AllocCounter.h"

using namespace quorvel::test;

namespace {

class CallbackSteadyStateTest : public DeviceTest {};

TEST_F(CallbackSteadyStateTest, TheDeviceCallbackAllocatesNothingAfterWarmUp) {
    const int dev = pa::addDevice(outputSpec("Interface", pa::addHostApi(paMME, "MME"), 2, 2));
    startDevices();
    vantor::GraphManager& graph = startGraph();
    auto* instrument = new FakeInstrument();
    ASSERT_TRUE(graph.addInstrument(0, instrument));
    FakeFileSource file;
    file.repeat = true;
    for (int i = 0; i < 20; ++i)
        file.queue(noteOn(0, static_cast<uint8_t>(40 + i), 90, (i * 23) % 512));
    graph.setFileEventSource(&file);
    pa::setCallbacks(pa::Callbacks::FirstOnly);
    pa::setCpuLoad(0.5);
    vantor::AudioDevice* device = openDevice(dev);
    ASSERT_NE(device, nullptr);
    graph.setAudioDevice(device);
    ASSERT_TRUE(manager->requestPlayStop(&context, true));
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(pa::runCallback(512)); // warm-up

    AllocCounter::arm();
    for (int i = 0; i < 5000; ++i)
        pa::runCallback(512);
    const uint64_t allocations = AllocCounter::disarm();

    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(instrument->blocks.load(), 5101u);
    EXPECT_EQ(manager->framesProcessed(&context), 5101u * 512u);
    EXPECT_FLOAT_EQ(manager->cpuLoad(&context), 0.5f);
    EXPECT_GT(pa::lastOutput().at(0).at(10), 0.5f);
    EXPECT_TRUE(manager->requestPlayStop(&context, false));
    graph.setFileEventSource(nullptr);
}

} // namespace
