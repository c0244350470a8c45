// The recorder module as the graph and the recording opcodes drive it: states, clipping, the
// offline stop on silence, real-time stops finished by the streamer, and failures the user must
// hear about.
#include "RecordingTestSupport.h"

#include "graph/DSPInfo.h"
#include "recording/RecordingErrors.h"
#include "recording/StereoFileOutputModule.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rectest;
using vantor::DSPInfo;
using vantor::StereoFileOutputModule;
using vantor::Streamer;

namespace {

// One module with its stream description, fed the way the graph feeds it.
struct Rig {
    StreamerReset reset;
    DSPInfo info;
    StereoFileOutputModule module;
    std::vector<float> left, right;
    fs::path dir;

    Rig(double rate, uint32_t block, bool offline, bool withDspInfo = true)
        : info(rate, block), left(block), right(block), dir(scratchDir("rec")) {
        info.setOffline(offline);
        module.init(nullptr, &info);
        if (withDspInfo) module.setDSPInfo(&info);
    }
    ~Rig() { removeDir(dir); }
    void block(float l, float r) {
        std::fill(left.begin(), left.end(), l);
        std::fill(right.begin(), right.end(), r);
        float* in[2] = {left.data(), right.data()};
        module.processAudio(in, nullptr, uint32_t(left.size()), false);
    }
    fs::path start(const std::string& name = "take.wav") {
        fs::path p = dir / name;
        EXPECT_TRUE(module.setRecordingFile(p.string(), 0, 32));
        EXPECT_TRUE(module.startRecording());
        return p;
    }
};

} // namespace

TEST(Recorder, OpcodesRefuseCallsInTheWrongState) {
    Rig rig(44100, 64, true);
    BoxCapture boxes;
    EXPECT_FALSE(rig.module.startRecording()) << "no file";
    EXPECT_FALSE(rig.module.stopRecording()) << "not recording";
    auto p = rig.dir / "a.wav";
    ASSERT_TRUE(rig.module.setRecordingFile(p.string(), 0, 32));
    EXPECT_FALSE(rig.module.setRecordingFile((rig.dir / "b.wav").string(), 0, 32)) << "file already set";
    EXPECT_FALSE(rig.module.isRecording());
    ASSERT_TRUE(rig.module.startRecording());
    EXPECT_TRUE(rig.module.isRecording());
    EXPECT_FALSE(rig.module.startRecording()) << "already recording";
    EXPECT_FALSE(rig.module.setRecordingFile((rig.dir / "b.wav").string(), 0, 32)) << "recording";
    EXPECT_TRUE(rig.module.stopRecording());
    EXPECT_FALSE(rig.module.isRecording());
    EXPECT_FALSE(rig.module.startRecording()) << "a file serves one recording";
    EXPECT_FALSE(fs::exists(rig.dir / "b.wav"));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST(Recorder, ClipsToFullScaleAndInterleaves) {
    Rig rig(44100, 4, true);
    auto p = rig.start();
    float l[4] = {1.5f, -3.0f, 0.25f, std::nanf("")};
    float r[4] = {-0.5f, 1.0f, -1.0f, 2.0f};
    float* in[2] = {l, r};
    rig.module.processAudio(in, nullptr, 4, false);
    ASSERT_TRUE(rig.module.stopRecording());
    EXPECT_EQ(wavSamples(readBytes(p)),
              (std::vector<float>{1.0f, -0.5f, -1.0f, 1.0f, 0.25f, -1.0f, 0.0f, 1.0f}));
}

TEST(Recorder, OfflineSilenceEndsOnTheBlockThatCompletesOneSecond) {
    Rig rig(44100, 512, true);
    auto p = rig.start();
    rig.block(0.5f, 0.5f);
    rig.block(0.5f, -0.5f);
    rig.module.setStopOnSilence(true);
    EXPECT_TRUE(rig.module.getStopOnSilence());
    for (int i = 0; i < 85; ++i)
        rig.block(0.0999f, -0.0999f);
    EXPECT_TRUE(rig.module.isRecording());
    rig.block(0.0f, 0.0f); // the 86th: 44100 / 512 = 86.13 -> 86 blocks per second
    EXPECT_FALSE(rig.module.isRecording());
    EXPECT_FALSE(rig.module.getStopOnSilence());
    rig.block(0.0f, 0.0f);
    EXPECT_FALSE(rig.module.stopRecording()) << "already ended by the silence rule";
    auto samples = wavSamples(readBytes(p));
    ASSERT_EQ(samples.size(), size_t(2 + 85) * 512 * 2);
    EXPECT_EQ(samples[0], 0.5f);
    EXPECT_EQ(samples.back(), -0.0999f);
    EXPECT_EQ(u32(readBytes(p), 40), (2 + 85) * 512 * 8u);
}

TEST(Recorder, OneLoudChannelRestartsTheQuietCount) {
    Rig rig(44100, 512, true);
    rig.start();
    rig.module.setStopOnSilence(true);
    for (int i = 0; i < 80; ++i)
        rig.block(0.0f, 0.0f);
    rig.block(0.2f, 0.0f);
    for (int i = 0; i < 85; ++i)
        rig.block(0.0f, 0.0f);
    EXPECT_TRUE(rig.module.isRecording());
    rig.block(0.0f, 0.0f);
    EXPECT_FALSE(rig.module.isRecording());
}

TEST(Recorder, SilenceRuleNeedsArmingOfflineAndAStreamDescription) {
    {
        Rig rig(44100, 512, true, /*withDspInfo=*/false);
        rig.start();
        rig.module.setStopOnSilence(true);
        for (int i = 0; i < 300; ++i)
            rig.block(0.0f, 0.0f);
        EXPECT_TRUE(rig.module.isRecording()) << "no blocks-per-second before setDSPInfo";
        EXPECT_TRUE(rig.module.stopRecording());
    }
    {
        Rig rig(44100, 512, true);
        rig.start();
        for (int i = 0; i < 300; ++i)
            rig.block(0.0f, 0.0f);
        EXPECT_TRUE(rig.module.isRecording()) << "not armed";
        rig.module.setStopOnSilence(true);
        rig.module.stopRecording();
        EXPECT_TRUE(rig.module.setRecordingFile((rig.dir / "2.wav").string(), 0, 32));
        EXPECT_FALSE(rig.module.getStopOnSilence()) << "a new file disarms";
    }
}

TEST(Recorder, WrongFormatOrPathIsShownInTheFileRecordingBox) {
    Rig rig(44100, 64, false);
    BoxCapture boxes;
    EXPECT_FALSE(rig.module.setRecordingFile((rig.dir / "a.wav").string(), 0, 16));
    std::string missing = (rig.dir / "nowhere" / "a.wav").string();
    EXPECT_FALSE(rig.module.setRecordingFile(missing, 0, 32));
    auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, "File Recording");
    EXPECT_EQ(shown[0].second, "Only supporting 32bit FLOAT WAVES thanks!");
    EXPECT_EQ(shown[1].second, "Can not open file for writing : " + missing);
    EXPECT_FALSE(fs::exists(rig.dir / "a.wav"));
    EXPECT_FALSE(rig.module.startRecording()) << "still without a file";
    EXPECT_TRUE(rig.module.setRecordingFile((rig.dir / "b.wav").string(), 0, 32));
}

TEST(Recorder, RealTimeStopReturnsAtOnceAndTheStreamerCompletesTheFile) {
    Rig rig(48000, 256, false);
    auto p = rig.start();
    for (int i = 0; i < 500; ++i)
        rig.block(0.25f, -0.25f); // 128000 frames: one full request and more
    // Keep the streamer busy so the close cannot have happened when stop returns.
    Journal j;
    Gate gate;
    auto gated = std::make_unique<JournalFile>(rig.dir / "g.wav", j, "g", &gate);
    Streamer::get()->addToRequestQueue(filledRequest(gated.get(), 2, 0.f));
    gate.waitEntered();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig.module.stopRecording());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    EXPECT_FALSE(rig.module.isRecording());
    EXPECT_EQ(readBytes(p)[0], 0xFF) << "not completed yet";
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return readBytes(p)[0] == 'R'; }));
    auto b = readBytes(p);
    EXPECT_EQ(u32(b, 40), 500u * 256 * 8);
    auto samples = wavSamples(b);
    ASSERT_EQ(samples.size(), 500u * 256 * 2);
    EXPECT_EQ(samples[1], -0.25f);
    EXPECT_EQ(samples.back(), -0.25f);
}

TEST(Recorder, HandsARequestOverWhenTheNextBlockWouldNotFit) {
    StreamerReset reset;
    auto dir = scratchDir("fill");
    auto p = dir / "f.wav";
    // No streamer: a handed-over request is written at once, so the file shows each hand-over.
    vantor::StreamedAudioFileWrite file(nullptr, p.string(), 0, 0, 44100, 32, 2, 2.0);
    EXPECT_EQ(file.requestCapacity(), 176400u);
    std::vector<float> block(1024, 0.5f);
    for (int i = 0; i < 172; ++i)
        file.write(block.data(), block.size(), false);
    EXPECT_EQ(fs::file_size(p), 44u);
    file.write(block.data(), block.size(), false);
    EXPECT_EQ(fs::file_size(p), 44u + 172 * 4096);
}

TEST(Recorder, DestroyingTheModuleCompletesItsFile) {
    fs::path p;
    fs::path dir;
    {
        Rig rig(44100, 128, false);
        dir = rig.dir;
        p = rig.start();
        for (int i = 0; i < 10; ++i)
            rig.block(0.5f, 0.5f);
        // rig.module dies here while recording (before the streamer is shut down)
        rig.dir = scratchDir("unused");
    }
    auto b = readBytes(p);
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(b[0], 'R');
    EXPECT_EQ(u32(b, 40), 10u * 128 * 8);
    removeDir(dir);
}

TEST(Recorder, FullDiskStopsTheFileReadableAndTellsTheUserOnTheOpcodeThread) {
    LogCapture log;
    BoxCapture boxes;
    vantor::takeRecordingErrors();
    Rig rig(44100, 441, false);
    auto p = rig.dir / "full.wav";
    {
        // Room for the header and 1.5 requests' worth of samples (a request is 2 s = 176400 samples).
        FullDisk disk(44 + 264600 * 4);
        ASSERT_TRUE(rig.module.setRecordingFile(p.string(), 0, 32));
        ASSERT_TRUE(rig.module.startRecording());
        for (int i = 0; i < 500; ++i)
            rig.block(0.5f, -0.5f); // 5 s
        ASSERT_TRUE(waitUntil([&] { return log.contains("failed for " + p.string()); }));
        EXPECT_TRUE(boxes.boxes().empty()) << "never shown from the streamer thread";
        for (int i = 0; i < 10; ++i)
            rig.block(0.5f, -0.5f); // the audio side carries on untroubled
        EXPECT_FALSE(rig.module.isRecording()) << "the opcode thread learns of it and the recording ends";
        auto shown = boxes.boxes();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].first, "File Recording");
        EXPECT_NE(shown[0].second.find(p.string()), std::string::npos);
        EXPECT_NE(shown[0].second.find("disk may be full"), std::string::npos);
    }
    ASSERT_TRUE(waitUntil([&] { return Streamer::get()->pendingRequests() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto b = readBytes(p);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(b, 40), 264600u * 4);
    EXPECT_EQ(u32(b, 4), 264600u * 4 + 36);
    auto samples = wavSamples(b);
    ASSERT_EQ(samples.size(), 264600u);
    EXPECT_EQ(samples.front(), 0.5f);
    EXPECT_EQ(samples.back(), -0.5f);
    EXPECT_EQ(boxes.boxes().size(), 1u) << "reported once";
    // The next recording works as usual.
    auto q = rig.start("next.wav");
    for (int i = 0; i < 10; ++i)
        rig.block(0.25f, 0.25f);
    ASSERT_TRUE(rig.module.stopRecording());
    Streamer::shutdown();
    EXPECT_EQ(wavSamples(readBytes(q)).size(), 10u * 441 * 2);
}
