#include "graph/DSPInfo.h"
#include "graph/Instance.h"
#include "graph/MultichannelBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>

using vantor::DSPInfo;
using vantor::Instance;
using vantor::MultichannelBuffer;

TEST(DSPInfoTest, DerivedFiguresAt44100With512) {
    DSPInfo info(44100, 512);
    EXPECT_EQ(info.sampleRate, 44100.0);
    EXPECT_EQ(info.sampleRateInt, 44100u);
    EXPECT_EQ(info.blockSize, 512u);
    EXPECT_EQ(info.fadeLength, 264u);
    EXPECT_EQ(info.blockDuration, 0.011609977324263039);
    EXPECT_EQ(info.nyquist, 22050.0);
    EXPECT_EQ(info.samplePeriod, 2.2675736961451248e-05);
    // A full ramp takes 60 ms: 2646 frames at 44100 Hz, 2880 at 48000 Hz.
    EXPECT_DOUBLE_EQ(info.rampStep, 0.0003779289493575208);                 // 1/2646
    EXPECT_DOUBLE_EQ(DSPInfo(48000, 512).rampStep, 0.00034722222222222224); // 1/2880
    EXPECT_FALSE(info.isOffline());
}

TEST(DSPInfoTest, InverseBlockSizeIsComputedInSinglePrecision) {
    // 1/441 differs between float and double: the float rounding must survive the widening.
    DSPInfo info(44100, 441);
    EXPECT_EQ(info.inverseBlockSize, 0.0022675737272948027);
    EXPECT_NE(info.inverseBlockSize, 0.0022675736961451248); // 1/441 in double
}

TEST(DSPInfoTest, FadeLengthUsesTheSinglePrecisionConstant) {
    // 6 ms of frames, truncated, at every valid rate.
    const struct {
        double rate;
        uint32_t fade;
    } cases[] = {{22050, 132}, {44100, 264}, {48000, 288},  {64000, 384},
                 {88200, 529}, {96000, 576}, {192000, 1152}};
    for (const auto& c : cases) {
        DSPInfo info(c.rate, 256);
        EXPECT_EQ(info.fadeLength, c.fade) << c.rate;
        EXPECT_EQ(info.fadeTable.size(), info.fadeLength) << c.rate;
    }
}

TEST(DSPInfoTest, UnsupportedRateFallsBackTo44100AndKeepsTheBlockSize) {
    for (double bad : {50000.0, 0.0, -48000.0, 44100.5, 8000.0}) {
        DSPInfo info(bad, 256);
        EXPECT_EQ(info.sampleRate, 44100.0) << bad;
        EXPECT_EQ(info.sampleRateInt, 44100u) << bad;
        EXPECT_EQ(info.blockSize, 256u) << bad;
        EXPECT_EQ(info.fadeLength, 264u) << bad;
    }
    EXPECT_FALSE(DSPInfo::isValidRate(50000));
    EXPECT_TRUE(DSPInfo::isValidRate(192000));
}

TEST(DSPInfoTest, FadeTableIsARisingQuarterSine) {
    DSPInfo info(88200, 1024);
    ASSERT_EQ(info.fadeLength, 529u);
    ASSERT_EQ(info.fadeTable.size(), 529u);
    EXPECT_EQ(info.fadeTable.front(), 0.0);
    EXPECT_LT(info.fadeTable.back(), 1.0);
    EXPECT_GT(info.fadeTable.back(), 0.9999);
    for (size_t i = 1; i < info.fadeTable.size(); ++i)
        ASSERT_GT(info.fadeTable[i], info.fadeTable[i - 1]) << i;
    EXPECT_NEAR(info.fadeTable[264], 0.7060561716767882, 1e-15); // sin(264/529 of a quarter turn)
    EXPECT_NEAR(info.fadeTable[528], 0.999995591426404, 1e-15);
}

TEST(DSPInfoTest, BlockSizeIsTakenAsItComes) {
    DSPInfo odd(48000, 333);
    EXPECT_EQ(odd.blockSize, 333u);
    EXPECT_EQ(odd.blockDuration, 0.0069375);
    DSPInfo zero(48000, 0); // never sent by a device, but must not produce infinities
    EXPECT_EQ(zero.blockSize, 0u);
    EXPECT_EQ(zero.inverseBlockSize, 0.0);
}

TEST(MultichannelBufferTest, ChannelsAreContiguousAlignedAndCleared) {
    MultichannelBuffer buffer(3, 100);
    ASSERT_EQ(buffer.channelCount(), 3u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.channel(0)) % 32, 0u);
    EXPECT_EQ(buffer.channel(1), buffer.channel(0) + 100);
    EXPECT_EQ(buffer.channel(2), buffer.channel(0) + 200);
    EXPECT_EQ(buffer.channels()[1], buffer.channel(1));
    for (uint32_t c = 0; c < 3; ++c)
        for (uint32_t i = 0; i < 100; ++i)
            ASSERT_EQ(buffer.channel(c)[i], 0.0f);

    for (uint32_t c = 0; c < 3; ++c)
        for (uint32_t i = 0; i < 100; ++i)
            buffer.channel(c)[i] = 1.0f;
    buffer.clear(40);
    for (uint32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(buffer.channel(c)[39], 0.0f);
        EXPECT_EQ(buffer.channel(c)[40], 1.0f); // only the first frames
    }
    buffer.clear(100000); // more than the size clears all, and nothing beyond
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_EQ(buffer.channel(c)[99], 0.0f);
}

TEST(MultichannelBufferTest, EmptyBufferIsSafe) {
    MultichannelBuffer buffer(2, 0);
    buffer.clear(10);
    EXPECT_EQ(buffer.frames(), 0u);
}

TEST(InstanceTest, InitBuildsTheDefaultDescriptionAndGenerators) {
    Instance instance;
    EXPECT_EQ(instance.getDSPInfo(), nullptr);
    instance.init();
    ASSERT_NE(instance.getDSPInfo(), nullptr);
    EXPECT_EQ(instance.getDSPInfo()->sampleRate, 44100.0);
    EXPECT_EQ(instance.getDSPInfo()->blockSize, 512u);
    ASSERT_NE(instance.guiIdleGenerator(), nullptr);
    ASSERT_NE(instance.nonGuiIdleGenerator(), nullptr);
}

TEST(InstanceTest, ResetStaticDSPReplacesTheDescriptionAndClearsOffline) {
    Instance instance;
    instance.init();
    instance.setOffline(true);
    EXPECT_TRUE(instance.getDSPInfo()->isOffline());
    instance.resetStaticDSP(22050, 1024);
    EXPECT_EQ(instance.getDSPInfo()->sampleRate, 22050.0);
    EXPECT_EQ(instance.getDSPInfo()->blockSize, 1024u);
    EXPECT_FALSE(instance.getDSPInfo()->isOffline());
    instance.resetStaticDSP(12345, 64); // unsupported rate
    EXPECT_EQ(instance.getDSPInfo()->sampleRate, 44100.0);
    EXPECT_EQ(instance.getDSPInfo()->blockSize, 64u);
}

namespace {
struct CountingListener : vantor::GUIIdleListener {
    int calls = 0;
    void onIdle(double) override { ++calls; }
};
} // namespace

TEST(InstanceTest, ContextForwardsListenersToTheGenerators) {
    Instance instance;
    CountingListener gui, nonGui;
    // Before init there are no generators: calls are harmless.
    instance.addGUIIdleListener(&gui);
    EXPECT_FALSE(instance.removeGUIIdleListener(&gui));
    instance.guiIdleTick();
    instance.nonGuiIdleTick();

    instance.init();
    vantor::Context& context = instance;
    context.addGUIIdleListener(&gui);
    context.addGUIIdleListener(nullptr); // ignored
    context.addNonGUIIdleListener(&nonGui);
    EXPECT_EQ(instance.guiIdleGenerator()->listenerCount(), 1u);
    instance.nonGuiIdleTick();
    instance.nonGuiIdleTick();
    EXPECT_EQ(nonGui.calls, 2);
    EXPECT_TRUE(context.removeNonGUIIdleListener(&nonGui));
    EXPECT_FALSE(context.removeNonGUIIdleListener(&nonGui));
    EXPECT_TRUE(context.removeGUIIdleListener(&gui));
    EXPECT_FALSE(context.removeGUIIdleListener(nullptr));
}
