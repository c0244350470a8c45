// The library's callback thread against the opcode thread: counters, the playing flag, latency
// and repeated start/stop, with the first-callback handshake each time.
#include "DeviceTestSupport.h"
#include "graph/GraphDoubles.h"

#include <thread>

using namespace quorvel::test;

namespace {

class DevicesThreadingTest : public DeviceTest {};

TEST_F(DevicesThreadingTest, CountersAndStateAreReadWhileTheCallbackRuns) {
    const int dev = pa::addDevice(outputSpec("Out", pa::addHostApi(paDirectSound, "DS"), 2, 2));
    startDevices();
    vantor::GraphManager& graph = startGraph();
    ASSERT_TRUE(graph.addInstrument(0, new FakeInstrument()));
    vantor::AudioDevice* device = openDevice(dev);
    ASSERT_NE(device, nullptr);
    graph.setAudioDevice(device);
    pa::setCpuLoad(0.3);
    pa::setOutputLatency(0.02);
    pa::setInputValue(0.25f);

    uint64_t lastFrames = 0;
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(manager->requestPlayStop(&context, true)) << round;
        for (int i = 0; i < 50; ++i) {
            const uint64_t frames = manager->framesProcessed(&context);
            EXPECT_GE(frames, lastFrames);
            lastFrames = frames;
            float latency = 0.0f;
            EXPECT_TRUE(device->getLatency(latency));
            EXPECT_TRUE(manager->isPlaying(&context, false));
            (void)manager->cpuLoad(&context);
            std::this_thread::yield();
        }
        ASSERT_TRUE(manager->requestPlayStop(&context, false)) << round;
        EXPECT_EQ(manager->cpuLoad(&context), 0.0f);
    }
    // Every start waited for its first callback, which the stop lets finish: read after the last
    // stop (the last reading above may come before the block that released the start is counted).
    EXPECT_GE(manager->framesProcessed(&context), 20u * 512u);
    EXPECT_EQ(pa::openStreamCount(), 0);
}

} // namespace
