// The audio thread's whole load at once, through the sound card's real callback path (the audio
// library's test double calling the device's callback): the reference engine playing, a keyboard
// on a virtual MIDI port played between blocks, a MIDI file playing and a recording running
// across several 2-second hand-overs to the disk streamer. Once warm, the callback allocates
// nothing.
#include "IntegrationHost.h"

#include "engineapi/EngineOpcodes.h"
#include "graph/GraphManager.h"
#include "midifile/SmfBuilder.h"
#include "recording/IORequest.h"
#include "recording/Streamer.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace vantor;

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kBlock = 512;
constexpr uint32_t kStart = 5000000;

// A bar of quarter notes at 120 bpm over and over, on channel 2, for 16 seconds.
smf::Bytes melody() {
    smf::Track track;
    track.tempo(0, 500000);
    for (int beat = 0; beat < 32; ++beat) {
        track.noteOn(0, 1, 60 + (beat % 8), 90);
        track.noteOff(480, 1, 60 + (beat % 8));
    }
    track.end();
    return smf::file(0, 480, {track});
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

class SteadyStateTest : public vantor::test::IntegrationHost {};

} // namespace

TEST_F(SteadyStateTest, LiveMidiFilePlaybackAndRecordingTogetherAllocateNothingOnTheAudioThread) {
    startHost(kRate, kBlock, true, kStart);
    if (HasFatalFailure()) return;
    smf::TempFile song(melody(), "steady.mid");
    const std::string take =
        (std::filesystem::temp_directory_path() /
         ("quorvel_steady_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
          ".wav"))
            .string();
    ASSERT_EQ(call(VE_ENGINE_MIDI_LOAD, const_cast<char*>(song.path().c_str())), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(take.c_str()), nullptr, 0, 32, 0), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_RECORDING_START), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_MIDI_PLAY), kEngineOk);

    // 2 s of audio per request: 187.5 blocks. Warm-up covers the first hand-over; the counted
    // stretch of 8 s holds four more.
    constexpr int kWarmUp = 200;
    constexpr int kCounted = 750;
    uint32_t now = 0;
    const auto blockMs = [](int i) { return static_cast<uint32_t>(uint64_t(i) * kBlock * 1000 / kRate); };
    uint64_t allocations = 0;
    int handOversCounted = 0;
    for (int i = 0; i < kWarmUp + kCounted; ++i) {
        now = blockMs(i + 1);
        // The keyboard plays a note, and lets the previous one go, every tenth block.
        if (i % 10 == 5) {
            const uint32_t key = 48 + static_cast<uint32_t>(i / 10 % 12);
            play({{0x400080 | ((key - 1) << 8), blockMs(i) + 2}, {0x640090 | (key << 8), blockMs(i) + 3}});
        }
        // The streamer gets the head start real time would give it before each hand-over.
        if (i % 16 == 0) {
            ASSERT_TRUE(waitFor([] {
                return Streamer::get()->pendingRequests() == 0 && IORequest::writePoolSize() > 0;
            }));
        }
        const bool counted = i >= kWarmUp;
        if (counted) quorvel::test::AllocCounter::arm();
        const bool ran = runBlock(kStart + now);
        if (counted) allocations += quorvel::test::AllocCounter::disarm();
        ASSERT_TRUE(ran);
        if (counted && (uint64_t(i + 1) * kBlock) % (2 * kRate) < uint64_t(kBlock)) ++handOversCounted;
    }
    EXPECT_GE(handOversCounted, 3);
    EXPECT_EQ(allocations, 0u) << "heap allocations on the audio thread after warm-up";
    EXPECT_EQ(graph()->skippedBlocks(), 0u);

    ASSERT_EQ(call(VE_ENGINE_RECORDING_STOP), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_MIDI_STOP), kEngineOk);
    // The streamer completes the file behind its last buffer.
    ASSERT_TRUE(waitFor([&] {
        auto b = readBytes(take);
        return b.size() >= 44 && b[0] == 'R';
    }));
    auto bytes = readBytes(take);
    EXPECT_EQ(u32(bytes, 24), uint32_t(kRate));
    EXPECT_EQ(u32(bytes, 40), uint32_t(kWarmUp + kCounted) * kBlock * 8);
    EXPECT_EQ(bytes.size(), 44u + uint64_t(kWarmUp + kCounted) * kBlock * 8);
    float loudest = 0.0f;
    for (size_t at = 44; at + 4 <= bytes.size(); at += 4) {
        float s;
        std::memcpy(&s, bytes.data() + at, 4);
        loudest = std::max(loudest, std::fabs(s));
    }
    EXPECT_GT(loudest, 0.01f) << "the recording holds what was played";
    EXPECT_EQ(complaints(), std::vector<std::string>{});
    std::error_code ignored;
    std::filesystem::remove(take, ignored);
}
