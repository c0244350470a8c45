#include "graph/AudioStatKeeper.h"
#include "graph/DSPInfo.h"
#include "graph/StereoGainModule.h"

#include <gtest/gtest.h>

#include <vector>

using vantor::AudioStatKeeper;
using vantor::DSPInfo;
using vantor::StereoGainModule;

namespace {
struct Stereo {
    explicit Stereo(uint32_t n, float v) : l(n, v), r(n, v) {}
    std::vector<float> l, r;
    float* p[2] = {nullptr, nullptr};
    float** ptrs() {
        p[0] = l.data();
        p[1] = r.data();
        return p;
    }
};
} // namespace

TEST(StereoGainModuleTest, FreshStageFadesInOverOneBlock) {
    DSPInfo info(44100, 512);
    StereoGainModule gain;
    gain.init(nullptr, &info);
    EXPECT_EQ(gain.numInputs(), 2);
    EXPECT_EQ(gain.numOutputs(), 2);
    EXPECT_EQ(gain.getCurrentGain(), 0.0f);
    EXPECT_EQ(gain.getTargetGain(), 1.0f);

    Stereo in(512, 1.0f), out(512, 9.0f);
    gain.processAudio(in.ptrs(), out.ptrs(), 256, false);
    EXPECT_EQ(gain.getCurrentGain(), 0.5f); // half a block: half way
    EXPECT_EQ(out.l[0], 0.0f);
    EXPECT_EQ(out.l[1], 1.0f / 512);
    EXPECT_EQ(out.r[255], 255.0f / 512);
    EXPECT_EQ(out.l[256], 9.0f); // beyond the frames: untouched

    gain.processAudio(in.ptrs(), out.ptrs(), 256, false);
    EXPECT_EQ(out.l[0], 0.5f); // the ramp continues where it stopped
    // The step is recomputed from the remaining distance: half of it per remaining block.
    EXPECT_EQ(gain.getCurrentGain(), 0.75f);
}

TEST(StereoGainModuleTest, AccumulateAddsAndOverwriteReplaces) {
    DSPInfo info(48000, 4);
    StereoGainModule gain;
    gain.init(nullptr, &info);
    Stereo warm(4, 0.0f), sink(4, 0.0f);
    gain.processAudio(warm.ptrs(), sink.ptrs(), 4, false); // reach gain 1
    ASSERT_EQ(gain.getCurrentGain(), 1.0f);

    Stereo in(4, 0.25f), out(4, 1.0f);
    gain.processAudio(in.ptrs(), out.ptrs(), 4, true);
    EXPECT_EQ(out.l[3], 1.25f);
    EXPECT_EQ(out.r[0], 1.25f);
    gain.processAudio(in.ptrs(), out.ptrs(), 4, false);
    EXPECT_EQ(out.l[3], 0.25f);
}

TEST(StereoGainModuleTest, TargetChangeIsALinearRampAndNeverOvershoots) {
    DSPInfo info(48000, 64);
    StereoGainModule gain;
    gain.init(nullptr, &info);
    Stereo in(256, 1.0f), out(256, 0.0f);
    gain.processAudio(in.ptrs(), out.ptrs(), 64, false);
    gain.setGain(0.0f);
    // A call four blocks long must stop at the target rather than ramp below it.
    gain.processAudio(in.ptrs(), out.ptrs(), 256, false);
    EXPECT_EQ(gain.getCurrentGain(), 0.0f);
    for (float v : out.l)
        EXPECT_GE(v, 0.0f);
    EXPECT_EQ(out.l[255], 0.0f);
    EXPECT_FLOAT_EQ(out.l[32], 0.5f);
}

TEST(AudioStatKeeperTest, ClipThresholdIsJustAboveFullScale) {
    AudioStatKeeper below, above;
    std::vector<float> samples(64, 0.0f);
    samples[10] = 1.00005f;
    below.update(samples.data(), 64, 44100, 64 / 44100.0);
    EXPECT_FALSE(below.clipped());
    samples[10] = -1.0002f; // the sign does not matter
    above.update(samples.data(), 64, 44100, 64 / 44100.0);
    EXPECT_TRUE(above.clipped());
    std::fill(samples.begin(), samples.end(), 0.0f);
    above.update(samples.data(), 64, 44100, 64 / 44100.0);
    EXPECT_TRUE(above.clipped()); // sticky
}

TEST(AudioStatKeeperTest, LevelFollowsPeaksAndHalvesInATenthOfASecond) {
    AudioStatKeeper meter;
    const uint32_t frames = 441; // 100 blocks per second at 44100
    std::vector<float> samples(frames, 0.0f);
    samples[7] = -0.5f;
    samples[9] = 0.5f;
    meter.update(samples.data(), frames, 44100, 0.01);
    EXPECT_EQ(meter.level(), 0.5f);
    EXPECT_EQ(meter.maxLevel(), 0.5f);
    EXPECT_EQ(meter.lastPeakSample(), -0.5f); // the first occurrence, signed
    EXPECT_TRUE(meter.updated());

    std::fill(samples.begin(), samples.end(), 0.0f);
    for (int i = 0; i < 10; ++i)
        meter.update(samples.data(), frames, 44100, 0.01);
    EXPECT_NEAR(meter.level(), 0.25f, 1e-5);
    EXPECT_EQ(meter.maxLevel(), 0.5f); // sticky
    EXPECT_EQ(meter.lastPeakSample(), 0.0f);
}

TEST(AudioStatKeeperTest, PeakHoldLastsOneSecond) {
    AudioStatKeeper meter;
    std::vector<float> samples(100, 0.0f);
    samples[0] = 0.8f;
    meter.update(samples.data(), 100, 48000, 0.25);
    EXPECT_EQ(meter.peakHold(), 0.8f);
    samples[0] = 0.3f; // lower peaks do not restart the hold
    meter.update(samples.data(), 100, 48000, 0.25);
    meter.update(samples.data(), 100, 48000, 0.25);
    EXPECT_EQ(meter.peakHold(), 0.8f);
    EXPECT_DOUBLE_EQ(meter.holdTime(), 0.75);
    meter.update(samples.data(), 100, 48000, 0.25);
    EXPECT_EQ(meter.peakHold(), 0.0f);
    meter.update(samples.data(), 100, 48000, 0.25); // a new peak restarts the hold
    EXPECT_EQ(meter.peakHold(), 0.3f);
    EXPECT_DOUBLE_EQ(meter.holdTime(), 0.25);
}
