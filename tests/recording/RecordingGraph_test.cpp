// A minute of the graph's output recorded in real-time mode, paced like an audio device: the WAV
// must hold exactly the blocks the graph rendered, and the audio path must not allocate once the
// request pool is warm.
#include "RecordingTestSupport.h"
#include "bridge/HostComposition.h"

#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "recording/StereoFileOutputModule.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rectest;
using vantor::DSPInfo;
using vantor::GraphManager;
using vantor::Streamer;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A deterministic test tone that sometimes goes past full scale, so clipping is part of the path.
class ToneInstrument : public vantor::Module {
public:
    ToneInstrument() : Module(0, 2) {}
    void processBlock(vantor::MidiEventArray&, float**, float** outputs, uint32_t frames, bool) override {
        for (uint32_t i = 0; i < frames; ++i, ++n_) {
            double t = double(n_) / 44100.0;
            double env = 0.7 + 0.6 * std::sin(2 * kPi * 0.25 * t);
            outputs[0][i] = float(env * std::sin(2 * kPi * 440.0 * t));
            outputs[1][i] = float(env * std::sin(2 * kPi * 659.25 * t + 0.3));
        }
    }

private:
    uint64_t n_ = 0;
};

} // namespace

TEST(RecordingGraph, MinuteInRealTimeMatchesTheRenderedBlocksWithoutAllocating) {
    StreamerReset reset;
    auto dir = scratchDir("graph");
    auto path = dir / "minute.wav";
    constexpr uint32_t kBlock = 512;
    DSPInfo info(44100, kBlock);
    GraphManager graph;
    graph.init(nullptr, &info, vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    auto* tone = new ToneInstrument;
    tone->init(nullptr, &info);
    tone->start();
    ASSERT_TRUE(graph.addInstrument(0, tone));
    graph.getMasterGain()->setGain(0.8f); // a ramp in the recorded stretch

    auto* recorder = graph.getRecorder();
    ASSERT_NE(recorder, nullptr);
    ASSERT_TRUE(recorder->setRecordingFile(path.string(), 0, 32));
    ASSERT_TRUE(recorder->startRecording());

    const uint32_t blocks = uint32_t(60.0 * 44100 / kBlock) + 1;
    std::vector<float> rendered;
    rendered.reserve(size_t(blocks) * kBlock * 2);
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    // Twenty times real time: the streamer has the same head start per request as with a device.
    const auto blockTime = std::chrono::duration<double>(kBlock / 44100.0 / 20.0);
    const auto t0 = std::chrono::steady_clock::now();
    const uint32_t warmUp = uint32_t(4.0 * 44100 / kBlock); // two requests handed over
    uint64_t allocations = 0;
    {
        quorvel::test::AllocCounter::arm(); // the counter itself sees allocations on this thread
        auto* probe = new std::vector<int>(10);
        uint64_t seen = quorvel::test::AllocCounter::disarm();
        delete probe;
        ASSERT_GT(seen, 0u);
    }
    for (uint32_t b = 0; b < blocks; ++b) {
        std::this_thread::sleep_until(
            t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(blockTime * double(b)));
        if (b == warmUp) quorvel::test::AllocCounter::arm();
        std::fill(left.begin(), left.end(), 0.0f); // what the device callback does first
        std::fill(right.begin(), right.end(), 0.0f);
        graph.process(out, kBlock);
        if (b >= warmUp) allocations = quorvel::test::AllocCounter::count();
        for (uint32_t i = 0; i < kBlock; ++i) {
            rendered.push_back(left[i]);
            rendered.push_back(right[i]);
        }
    }
    quorvel::test::AllocCounter::disarm();
    EXPECT_EQ(allocations, 0u) << "allocations on the audio path after warm-up";
    EXPECT_EQ(graph.skippedBlocks(), 0u);
    ASSERT_TRUE(recorder->stopRecording());
    Streamer::shutdown(); // writes everything queued and closes the file

    for (float& s : rendered)
        s = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
    auto bytes = readBytes(path);
    ASSERT_EQ(u32(bytes, 40), rendered.size() * 4);
    auto recorded = wavSamples(bytes);
    ASSERT_EQ(recorded.size(), rendered.size());
    size_t firstDiff = recorded.size();
    for (size_t i = 0; i < recorded.size(); ++i)
        if (std::memcmp(&recorded[i], &rendered[i], 4) != 0) {
            firstDiff = i;
            break;
        }
    EXPECT_EQ(firstDiff, recorded.size()) << "first differing sample";
    bool clipped = false;
    for (float s : rendered)
        clipped |= (s == 1.0f || s == -1.0f);
    EXPECT_TRUE(clipped) << "the signal should reach the clipping path";
    removeDir(dir);
}
