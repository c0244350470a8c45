// The recorder across threads: an audio thread filling requests while the streamer writes them,
// and stops from the control thread (or the silence rule on the render thread) racing with blocks
// in flight. Run under ThreadSanitizer as well.
#include "RecordingTestSupport.h"

#include "graph/DSPInfo.h"
#include "recording/StereoFileOutputModule.h"

#include <gtest/gtest.h>

#include <random>

using namespace rectest;
using vantor::DSPInfo;
using vantor::StereoFileOutputModule;
using vantor::Streamer;

namespace {

// Every sample of block k carries the value k (scaled into range), so a file shows at once
// whether blocks were lost, doubled or torn.
constexpr float kStep = 1.0f / 65536.0f;
constexpr uint32_t kWrap = 60000;

void expectConsecutiveBlocks(const fs::path& p, uint32_t frames) {
    auto b = readBytes(p);
    ASSERT_GE(b.size(), 44u) << p;
    ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << p;
    ASSERT_EQ(u32(b, 40), b.size() - 44) << p;
    auto s = wavSamples(b);
    ASSERT_EQ(s.size() % (2 * frames), 0u) << p;
    for (size_t i = 1; i < s.size(); ++i) {
        float next = s[i - 1] == float(kWrap - 1) * kStep ? 0.0f : s[i - 1] + kStep;
        float expected = (i % (2 * frames) == 0) ? next : s[i - 1];
        if (s[i] != expected) {
            ADD_FAILURE() << p << " sample " << i << " is " << s[i] << " after " << s[i - 1];
            return;
        }
    }
}

} // namespace

TEST(RecordingThreads, ProducerFillsRequestsWhileTheStreamerWrites) {
    StreamerReset reset;
    auto dir = scratchDir("producer");
    auto p = dir / "p.wav";
    Streamer* s = Streamer::get();
    // 1 s requests of a small rate so many hand-overs happen quickly.
    auto* file = new vantor::StreamedAudioFileWrite(s, p.string(), 0, 0, 2000, 32, 2, 1.0);
    constexpr uint32_t frames = 50;
    std::thread audio([&] {
        std::vector<float> block(2 * frames);
        for (int k = 0; k < 4000; ++k) {
            std::fill(block.begin(), block.end(), float(k) * kStep);
            file->write(block.data(), block.size(), false);
            if (k % 100 == 0) std::this_thread::yield();
        }
    });
    audio.join();
    s->closeFile(file, false);
    Streamer::shutdown();
    expectConsecutiveBlocks(p, frames);
    EXPECT_EQ(wavSamples(readBytes(p)).size(), 4000u * 2 * frames);
    removeDir(dir);
}

TEST(RecordingThreads, StopsNeverMeetABlockInFlight) {
    for (bool offline : {false, true}) {
        StreamerReset reset;
        auto dir = scratchDir(offline ? "stopoff" : "stoprt");
        DSPInfo info(44100, 64);
        info.setOffline(offline);
        StereoFileOutputModule module;
        module.init(nullptr, &info);
        module.setDSPInfo(&info);
        std::atomic<bool> done{false};
        std::thread audio([&] {
            std::vector<float> l(64), r(64);
            float* in[2] = {l.data(), r.data()};
            for (uint32_t k = 0; !done.load(std::memory_order_relaxed); ++k) {
                std::fill(l.begin(), l.end(), float(k % kWrap) * kStep);
                std::fill(r.begin(), r.end(), float(k % kWrap) * kStep);
                module.processAudio(in, nullptr, 64, false);
                if (k % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
        });
        std::mt19937 rng(offline ? 7 : 11);
        std::vector<fs::path> files;
        for (int i = 0; i < 60; ++i) {
            auto p = dir / ("take" + std::to_string(i) + ".wav");
            ASSERT_TRUE(module.setRecordingFile(p.string(), 0, 32));
            ASSERT_TRUE(module.startRecording());
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
            ASSERT_TRUE(module.stopRecording());
            files.push_back(p);
        }
        done = true;
        audio.join();
        Streamer::shutdown();
        for (auto& p : files)
            expectConsecutiveBlocks(p, 64);
        removeDir(dir);
    }
}

TEST(RecordingThreads, SilenceStopAndControlStopRaceWithOneWinner) {
    StreamerReset reset;
    auto dir = scratchDir("race");
    DSPInfo info(44100, 64); // 689 blocks per second
    info.setOffline(true);
    StereoFileOutputModule module;
    module.init(nullptr, &info);
    module.setDSPInfo(&info);
    int controlWins = 0, silenceWins = 0;
    for (int i = 0; i < 40; ++i) {
        auto p = dir / ("r" + std::to_string(i) + ".wav");
        ASSERT_TRUE(module.setRecordingFile(p.string(), 0, 32));
        ASSERT_TRUE(module.startRecording());
        module.setStopOnSilence(true);
        std::thread render([&] {
            std::vector<float> z(64, 0.0f);
            float* in[2] = {z.data(), z.data()};
            for (int k = 0; k < 700; ++k)
                module.processAudio(in, nullptr, 64, false);
        });
        std::this_thread::sleep_for(std::chrono::microseconds((i * 137) % 4000));
        bool won = module.stopRecording();
        render.join();
        (won ? controlWins : silenceWins)++;
        EXPECT_FALSE(module.isRecording());
        auto b = readBytes(p);
        ASSERT_GE(b.size(), 44u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(u32(b, 40), b.size() - 44);
        EXPECT_LE(b.size() - 44, 688u * 64 * 8);
    }
    EXPECT_EQ(controlWins + silenceWins, 40);
    Streamer::shutdown();
    removeDir(dir);
}

TEST(RecordingThreads, PollingTheStateWhileTheSilenceRuleClosesTheFileIsSafe) {
    // The render thread's silence stop closes and deletes the file; the opcode thread polls the
    // recording state meanwhile, as the render dialog's timer does.
    StreamerReset reset;
    auto dir = scratchDir("poll");
    DSPInfo info(44100, 64);
    info.setOffline(true);
    StereoFileOutputModule module;
    module.init(nullptr, &info);
    module.setDSPInfo(&info);
    for (int i = 0; i < 20; ++i) {
        auto p = dir / ("r" + std::to_string(i) + ".wav");
        ASSERT_TRUE(module.setRecordingFile(p.string(), 0, 32));
        ASSERT_TRUE(module.startRecording());
        module.setStopOnSilence(true);
        std::atomic<bool> started{false};
        std::thread render([&] {
            std::vector<float> z(64, 0.0f);
            float* in[2] = {z.data(), z.data()};
            started = true;
            for (int k = 0; k < 700; ++k)
                module.processAudio(in, nullptr, 64, false);
        });
        while (!started.load())
            std::this_thread::yield();
        while (module.isRecording())
            std::this_thread::yield();
        render.join();
        auto b = readBytes(p);
        ASSERT_GE(b.size(), 44u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(u32(b, 40), 688u * 64 * 8) << "the silence rule ended it on its 689th quiet block";
    }
    Streamer::shutdown();
    removeDir(dir);
}
