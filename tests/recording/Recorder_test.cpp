// The recorder module as the graph and the recording opcodes drive it: states, clipping, the
// offline stop on silence, real-time stops finished by the streamer, and failures the user must
// hear about.
#include "RecordingTestSupport.h"

#include "graph/DSPInfo.h"
#include "recording/RecordingErrors.h"
#include "recording/StereoFileOutputModule.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <new>
#include <stdexcept>

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

namespace {

// Block k of a recording carries k * kStep in every sample, so a file shows whether blocks were
// lost, doubled or reordered.
constexpr float kStep = 1.0f / 65536.0f;

void expectBlocksInOrder(const std::vector<float>& samples, uint32_t frames, uint32_t firstBlock,
                         uint32_t blocks, const std::string& what) {
    ASSERT_EQ(samples.size(), size_t(blocks) * frames * 2) << what;
    for (size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != float(firstBlock + i / (2 * frames)) * kStep) {
            ADD_FAILURE() << what << ": sample " << i << " belongs to block " << samples[i] / kStep
                          << ", expected block " << firstBlock + i / (2 * frames);
            return;
        }
}

} // namespace

TEST(Recorder, RecordingKeptAcrossTheOfflineSwitchHoldsEveryBlockOnceInOrder) {
    // Real time long enough that one request is with the streamer and the next one half full,
    // then offline (direct writes), then real time again.
    Rig rig(44100, 512, false);
    auto p = rig.start();
    uint32_t k = 0;
    auto run = [&](uint32_t blocks) {
        for (uint32_t end = k + blocks; k < end; ++k)
            rig.block(float(k) * kStep, float(k) * kStep);
    };
    run(300);
    rig.info.setOffline(true);
    rig.module.setDSPInfo(&rig.info);
    run(100);
    rig.info.setOffline(false);
    rig.module.setDSPInfo(&rig.info);
    run(250);
    ASSERT_TRUE(rig.module.stopRecording());
    Streamer::shutdown();
    auto b = readBytes(p);
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(u32(b, 40), b.size() - 44);
    expectBlocksInOrder(wavSamples(b), 512, 0, 650, p.string());
}

TEST(Recorder, SampleRateChangeEndsThePartAndContinuesInTheNextAtTheNewRate) {
    LogCapture log;
    Rig rig(44100, 512, false);
    DSPInfo faster(96000, 512);
    auto p = rig.start();
    uint32_t k = 0;
    for (; k < 200; ++k)
        rig.block(float(k) * kStep, float(k) * kStep);
    rig.module.setDSPInfo(&faster); // stop, new settings, start: the graph passes the new rate on
    for (; k < 300; ++k)
        rig.block(float(k) * kStep, float(k) * kStep);
    ASSERT_TRUE(rig.module.stopRecording());
    Streamer::shutdown();
    auto first = readBytes(p), second = readBytes(rig.dir / "take (2).wav");
    ASSERT_GE(first.size(), 44u);
    ASSERT_GE(second.size(), 44u);
    EXPECT_EQ(u32(first, 24), 44100u);
    EXPECT_EQ(u32(first, 40), first.size() - 44);
    expectBlocksInOrder(wavSamples(first), 512, 0, 200, "the 44.1 kHz part");
    EXPECT_EQ(u32(second, 24), 96000u);
    EXPECT_EQ(u32(second, 28), 96000u * 8);
    EXPECT_EQ(u32(second, 40), second.size() - 44);
    expectBlocksInOrder(wavSamples(second), 512, 200, 100, "the 96 kHz part");
    EXPECT_TRUE(log.contains("continuing in " + (rig.dir / "take (2).wav").string()));

    // A file set but not yet recorded into simply takes the new rate.
    DSPInfo slower(48000, 256);
    auto q = rig.dir / "next.wav";
    ASSERT_TRUE(rig.module.setRecordingFile(q.string(), 0, 32));
    rig.module.setDSPInfo(&slower);
    ASSERT_TRUE(rig.module.startRecording());
    float l[256], r[256];
    std::fill(l, l + 256, 0.5f);
    std::fill(r, r + 256, 0.5f);
    float* in[2] = {l, r};
    rig.module.processAudio(in, nullptr, 256, false);
    ASSERT_TRUE(rig.module.stopRecording());
    Streamer::shutdown();
    auto b = readBytes(q);
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(u32(b, 24), 48000u);
    EXPECT_EQ(wavSamples(b).size(), 512u);
    EXPECT_FALSE(fs::exists(rig.dir / "next (2).wav"));
}

TEST(Recorder, FileSetRefusesWhatCannotBeRecordedAndSaysWhy) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string box;     // expected "File Recording" text ("" = no box)
        std::string logLine; // expected in an error line ("" = none asked)
    };
    auto throwing = [](auto make) {
        return [make] {
            vantor::setOutputFileOpenHook(
                [make](const std::string&, vantor::OpenMode, bool*) -> std::unique_ptr<vantor::OutputFile> {
                    throw make();
                });
        };
    };
    std::vector<Case> cases = {
        {"no disk thread", [] { Streamer::setThreadStartFailsForTesting(true); },
         "the disk writer could not be started", "no disk writer thread"},
        {"out of memory", throwing([] { return std::bad_alloc(); }), "", "out of memory"},
        {"other failure", throwing([] { return std::runtime_error("the volume went away"); }), "",
         "the volume went away"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        BoxCapture boxes;
        c.arrange();
        {
            Rig rig(44100, 64, false);
            auto p = rig.dir / "t.wav";
            EXPECT_FALSE(rig.module.setRecordingFile(p.string(), 0, 32));
            EXPECT_FALSE(rig.module.startRecording());
            EXPECT_FALSE(rig.module.isRecording());
            EXPECT_FALSE(fs::exists(p));
            auto shown = boxes.boxes();
            if (c.box.empty()) {
                EXPECT_TRUE(shown.empty());
            } else {
                ASSERT_EQ(shown.size(), 1u);
                EXPECT_EQ(shown[0].first, "File Recording");
                EXPECT_NE(shown[0].second.find(c.box), std::string::npos) << shown[0].second;
            }
            EXPECT_TRUE(log.contains(c.logLine)) << log.text();
        }
        Streamer::setThreadStartFailsForTesting(false);
        vantor::setOutputFileOpenHook({});
        // Once the cause is gone the same module records again.
        Rig rig(44100, 64, false);
        rig.start("ok.wav");
        EXPECT_TRUE(rig.module.isRecording());
        EXPECT_TRUE(rig.module.stopRecording());
    }
}

TEST(Recorder, AudioThreadAllocatesNothingAtHandOversWhateverThePoolHeld) {
    namespace qt = quorvel::test;
    // A recording at 44.1 kHz leaves five of its 2-second requests with the streamer (held up
    // behind a slow write); they come back to the pool only after the next recording, at 96 kHz,
    // has been set up.
    Rig rig(44100, 512, false);
    Journal j;
    Gate gate;
    auto slow = std::make_unique<JournalFile>(rig.dir / "slow.wav", j, "s", &gate);
    Streamer::get()->addToRequestQueue(filledRequest(slow.get(), 2, 0.f));
    gate.waitEntered();
    rig.start("first.wav");
    for (int i = 0; i < 5 * 173; ++i)
        rig.block(0.25f, 0.25f);
    ASSERT_TRUE(rig.module.stopRecording());

    DSPInfo fast(96000, 512);
    rig.module.setDSPInfo(&fast);
    auto p = rig.dir / "second.wav";
    ASSERT_TRUE(rig.module.setRecordingFile(p.string(), 0, 32));
    ASSERT_TRUE(rig.module.startRecording());
    gate.open();
    ASSERT_TRUE(waitUntil([] { return Streamer::get()->pendingRequests() == 0; }));

    // Four hand-overs of 2 s at 96 kHz (375 blocks each), the streamer given time to write each
    // one as it would have in real time; only this (the audio) thread's allocations count.
    std::vector<float> left(512, 0.5f), right(512, -0.5f);
    float* in[2] = {left.data(), right.data()};
    uint64_t allocations = 0;
    for (int i = 0; i < 4 * 375 + 10; ++i) {
        qt::AllocCounter::arm();
        rig.module.processAudio(in, nullptr, 512, false);
        allocations += qt::AllocCounter::disarm();
        if (i % 25 == 0) {
            ASSERT_TRUE(waitUntil([] {
                return Streamer::get()->pendingRequests() == 0 && vantor::IORequest::writePoolSize() > 0;
            }));
        }
    }
    EXPECT_EQ(allocations, 0u) << "allocations on the audio thread after warm-up";
    ASSERT_TRUE(rig.module.stopRecording());
    Streamer::shutdown();
    EXPECT_EQ(wavSamples(readBytes(p)).size(), size_t(4 * 375 + 10) * 1024);
}
