// A minute of the graph's output recorded in real-time mode, paced like an audio device: the WAV
// must hold exactly the blocks the graph rendered, and the audio path must not allocate once the
// request pool is warm.
#include "RecordingTestSupport.h"
#include "bridge/HostComposition.h"

#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "midifile/MIDIFilePlayer.h"
#include "midifile/SmfBuilder.h"
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

namespace {

// Sawtooth voices, one per held note, loud enough to clip: only float adds and multiplies, so
// the output is the same on every x86-64 build.
class SawInstrument : public vantor::Module {
public:
    SawInstrument() : Module(0, 2) {}
    void processBlock(vantor::MidiEventArray& events, float**, float** outputs, uint32_t frames,
                      bool) override {
        size_t next = 0;
        // Events placed past a short call's last frame still count, at its end.
        for (uint32_t i = 0; i < frames; ++i) {
            for (; next < events.size() && (uint32_t(events[next].frameOffset) <= i || i + 1 == frames);
                 ++next) {
                const vantor::MidiEvent& e = events[next];
                if ((e.status & 0xF0) == 0x90) voices_[e.data1 & 0x7F] = e.data2 * (1.6f / 127.0f);
                if ((e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.data2 == 0))
                    voices_[e.data1 & 0x7F] = 0.0f;
            }
            float l = 0.0f, r = 0.0f;
            for (int k = 0; k < 128; ++k) {
                if (voices_[k] == 0.0f) continue;
                phase_[k] += 0.0005f * float(k + 1);
                if (phase_[k] >= 1.0f) phase_[k] -= 2.0f;
                l += phase_[k] * voices_[k];
                r -= phase_[k] * voices_[k] * 0.5f;
            }
            outputs[0][i] = l;
            outputs[1][i] = r;
        }
    }

private:
    float voices_[128] = {};
    float phase_[128] = {};
};

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

} // namespace

// An offline render of a fixed file, with gain ramps, clipping, blocks longer and shorter than
// the block size and the stop on silence, must write the same bytes as the host always has.
TEST(RecordingGraph, OfflineRenderWritesTheSameBytesAsBefore) {
    StreamerReset reset;
    auto dir = scratchDir("checksum");
    auto path = dir / "render.wav";
    smf::Track t;
    t.tempo(0, 400000);
    for (int i = 0; i < 48; ++i)
        t.noteOn(i ? 60 : 0, 0, 36 + (i * 7) % 48, 20 + (i * 37) % 108).noteOn(30, 0, 36 + (i * 7) % 48, 0);
    const smf::Bytes song = smf::file(0, 96, {t.end(96)});

    constexpr uint32_t kBlock = 512;
    DSPInfo info(44100, kBlock);
    info.setOffline(true);
    GraphManager graph;
    graph.init(nullptr, &info, vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    graph.setDSPInfo(&info);
    ASSERT_TRUE(graph.addInstrument(0, new SawInstrument));
    graph.getMidiFilePlayer()->loadFromMemory(song.data(), song.size());
    auto* recorder = graph.getRecorder();
    ASSERT_TRUE(recorder->setRecordingFile(path.string(), 0, 32));
    ASSERT_TRUE(recorder->startRecording());
    graph.getMidiFilePlayer()->startPlayback();
    const uint32_t lengths[] = {512, 512, 100, 412, 1000, 512, 300};
    std::vector<float> left(2 * kBlock), right(2 * kBlock);
    float* out[2] = {left.data(), right.data()};
    uint64_t allocations = 1;
    for (uint32_t b = 0; recorder->isRecording() && b < 4000; ++b) {
        if (b == 40) graph.getMasterGain()->setGain(0.5f);
        if (b == 90) graph.getMasterGain()->setGain(1.3f);
        if (b == 150) graph.getInstrumentGain(0)->setGain(0.9f);
        const uint32_t n = lengths[b % 7];
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        if (b == 20) quorvel::test::AllocCounter::arm(); // the block loop, writes included, allocates nothing
        graph.process(out, n);
        if (b == 1000) allocations = quorvel::test::AllocCounter::disarm();
    }
    EXPECT_EQ(allocations, 0u);
    ASSERT_FALSE(recorder->isRecording()) << "the silence after the file ends the recording";
    const auto bytes = readBytes(path);
    EXPECT_EQ(bytes.size(), 5821164u);
    EXPECT_EQ(fnv1a(bytes),
              0x76f9a048538c1d53ull); // the bytes the host wrote before its render path was reworked
    removeDir(dir);
}
