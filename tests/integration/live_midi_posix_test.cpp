// Live MIDI through the whole host: a keyboard on a virtual MIDI port, the audio library's test
// double as the sound card, the reference engine component loaded as a shared object, and the
// host brought up through engineOpcode as the application does it. Notes played between two
// blocks must come out of the engine at the frame the keyboard's placement gives them, and their
// note-offs must let the sound die away.
//
// Every block the host renders is also compared with a second engine of the same component fed
// the expected events directly: after the gains have settled the host adds nothing of its own, so
// the two must agree sample for sample.
#include "IntegrationHost.h"

#include "engineapi/EngineOpcodes.h"
#include "bridge/SMPLModule.h"
#include "graph/GraphManager.h"
#include "midi/MIDIDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace vantor;
using vantor::test::firstNonZero;
using vantor::test::midiEvent;
using vantor::test::peak;
using vantor::test::ReferenceEngine;
using vantor::test::silent;
using vantor::test::StereoBlock;

namespace {

constexpr int32_t kRate = 48000;
// The multimedia clock when audio starts; every time below counts from here, as the port's own
// message times do.
constexpr uint32_t kStart = 7000000;

constexpr uint32_t kNoteOn = 0x643C90;  // channel 1, middle C, velocity 100
constexpr uint32_t kNoteOff = 0x403C80; // channel 1, middle C, release velocity 64
constexpr uint32_t kModWheel = 0x0001B0;
constexpr uint32_t kProgram = 0x0005C0;

// The first patch of the installed data releases over 1.2 s.
constexpr double kReleaseSeconds = 1.2;

// The first frame where the two differ (the length when they agree throughout).
size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
}

class LiveMidiTest : public vantor::test::IntegrationHost {
protected:
    // Renders one block at the given clock reading (ms since the start) and checks it against the
    // reference engine given the events the block should have carried.
    StereoBlock block(uint32_t sinceStart, const std::vector<BrevianMidiEvent>& expected,
                      ReferenceEngine& reference) {
        StereoBlock host = renderBlock(kStart + sinceStart);
        StereoBlock wanted = reference.render(expected, blockSize_);
        EXPECT_EQ(firstDifference(host.left, wanted.left), blockSize_)
            << "left channel differs from the reference in the block ending at +" << sinceStart << " ms";
        EXPECT_EQ(firstDifference(host.right, wanted.right), blockSize_)
            << "right channel differs from the reference in the block ending at +" << sinceStart << " ms";
        return host;
    }

    // The events the engine was handed in the last block.
    std::vector<BrevianMidiEvent> engineEvents() {
        std::vector<BrevianMidiEvent> events;
        SMPLModule* module = instrument();
        if (!module) return events;
        const BrevianEventBlock& block = module->eventBlock();
        events.assign(block.events, block.events + block.count);
        return events;
    }

    // Blocks without input until the release has ended: the sound fades, then stays silent.
    // Returns the number of blocks that still sounded.
    int renderRelease(uint32_t& sinceStart, uint32_t stepMs, ReferenceEngine& reference) {
        const int limit = static_cast<int>(std::ceil(kReleaseSeconds * kRate / blockSize_)) + 2;
        int sounding = 0;
        std::vector<float> tail;
        for (int i = 0; i < limit; ++i) {
            sinceStart += stepMs;
            StereoBlock out = block(sinceStart, {}, reference);
            if (silent(out.left) && silent(out.right)) break;
            tail.insert(tail.end(), out.left.begin(), out.left.end());
            ++sounding;
        }
        EXPECT_LT(sounding, limit) << "still sounding after the release";
        // The level falls from stretch to stretch (stretches longer than the waveform's period,
        // so the wave's own peaks do not count).
        constexpr size_t kStretch = 4096;
        float previous =
            peak(std::vector<float>(tail.begin(), tail.begin() + std::min(kStretch, tail.size())));
        for (size_t at = kStretch; at + kStretch <= tail.size(); at += kStretch) {
            const float level = peak(std::vector<float>(tail.begin() + static_cast<long>(at),
                                                        tail.begin() + static_cast<long>(at + kStretch)));
            EXPECT_LE(level, previous) << "the release rises at frame " << at;
            previous = level;
        }
        // Silent from then on, not just for one block.
        for (int i = 0; i < 3; ++i) {
            sinceStart += stepMs;
            StereoBlock out = block(sinceStart, {}, reference);
            EXPECT_TRUE(silent(out.left) && silent(out.right));
        }
        return sounding;
    }
};

} // namespace

// Blocks of 1024 frames (21 ms, at least 12 ms): the keyboard spreads each block's messages over
// the block by their arrival times within the window between the previous block and this one.
TEST_F(LiveMidiTest, ByArrivalTimeTheNoteStartsAtItsPlaceInTheBlockAndTheNoteOffReleasesIt) {
    startHost(kRate, 1024, true, kStart);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(keyboard()->getReduceJitter());
    ReferenceEngine reference(kRate, 1024);
    ASSERT_TRUE(reference.ready());

    // Nothing played yet: silence, while the new instrument's gain fades in.
    EXPECT_TRUE(silent(block(20, {}, reference).left));
    EXPECT_TRUE(silent(block(40, {}, reference).left));

    // A note 7 ms into the 20 ms window of the next block: trunc(7 / 20 * 1024) = frame 358.
    play({{kNoteOn, 47}});
    StereoBlock on = block(60, {midiEvent(0x90, 60, 100, 358)}, reference);
    EXPECT_EQ(firstNonZero(on.left), 358u);
    EXPECT_EQ(firstNonZero(on.right), 358u);
    std::vector<BrevianMidiEvent> handed = engineEvents();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].status, 0x90);
    EXPECT_EQ(handed[0].data1, 60);
    EXPECT_EQ(handed[0].data2, 100);
    EXPECT_EQ(handed[0].frameOffset, 358);
    EXPECT_EQ(handed[0].timeStamp, static_cast<uint32_t>((uint64_t{kStart} + 47) * 1000000ULL))
        << "the arrival time in nanoseconds, low 32 bits";

    // Held: it sounds through the whole next block.
    StereoBlock held = block(80, {}, reference);
    EXPECT_EQ(firstNonZero(held.left), 0u);

    // The note-off 13 ms into the 20 ms window: trunc(13 / 20 * 1024) = frame 665.
    play({{kNoteOff, 93}});
    StereoBlock off = block(100, {midiEvent(0x80, 60, 64, 665)}, reference);
    handed = engineEvents();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].status, 0x80);
    EXPECT_EQ(handed[0].frameOffset, 665);
    EXPECT_FALSE(silent(off.left)) << "the release has only begun";

    uint32_t now = 100;
    const int sounding = renderRelease(now, 20, reference);
    EXPECT_GT(sounding, 10) << "a release of 1.2 s lasts many blocks of 21 ms";
    EXPECT_EQ(graph()->skippedBlocks(), 0u);
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}

// Blocks of 256 frames (5.3 ms, under 12 ms): the keyboard packs each block's messages one frame
// apart from the block's start, in arrival order, whatever their arrival times.
TEST_F(LiveMidiTest, PackedTheNoteTakesItsTurnAfterTheMessagesBeforeItAndTheNoteOffReleasesIt) {
    startHost(kRate, 256, true, kStart);
    if (HasFatalFailure()) return;
    ASSERT_FALSE(keyboard()->getReduceJitter());
    ReferenceEngine reference(kRate, 256);
    ASSERT_TRUE(reference.ready());

    EXPECT_TRUE(silent(block(5, {}, reference).left));
    EXPECT_TRUE(silent(block(10, {}, reference).left));

    // Two messages the instrument ignores, then the note, late in the window (by time it would
    // land at frame 204): packed, it is the third message of the block, at frame 2.
    play({{kModWheel, 11}, {kProgram, 12}, {kNoteOn, 14}});
    StereoBlock on = block(
        15, {midiEvent(0xB0, 1, 0, 0), midiEvent(0xC0, 5, 0, 1), midiEvent(0x90, 60, 100, 2)}, reference);
    EXPECT_EQ(firstNonZero(on.left), 2u);
    EXPECT_EQ(firstNonZero(on.right), 2u);
    std::vector<BrevianMidiEvent> handed = engineEvents();
    ASSERT_EQ(handed.size(), 3u);
    EXPECT_EQ(handed[0].status, 0xB0);
    EXPECT_EQ(handed[1].status, 0xC0);
    EXPECT_EQ(handed[2].status, 0x90);
    EXPECT_EQ(handed[2].frameOffset, 2);

    for (uint32_t at = 20; at <= 25; at += 5)
        EXPECT_EQ(firstNonZero(block(at, {}, reference).left), 0u) << "held at +" << at << " ms";

    // The note-off alone in its block: frame 0.
    play({{kNoteOff, 27}});
    StereoBlock off = block(30, {midiEvent(0x80, 60, 64, 0)}, reference);
    handed = engineEvents();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].frameOffset, 0);
    EXPECT_FALSE(silent(off.left));

    uint32_t now = 30;
    EXPECT_GT(renderRelease(now, 5, reference), 10);
    EXPECT_EQ(graph()->skippedBlocks(), 0u);
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}

// The user picks a larger buffer between two runs: audio stops, the settings change, audio
// starts again. The same keyboard then places by arrival time, counting from its new start, and
// the note held when audio stopped does not sound on.
TEST_F(LiveMidiTest, TheKeyboardFollowsTheBufferSizeChosenBetweenTwoRuns) {
    startHost(kRate, 256, true, kStart);
    if (HasFatalFailure()) return;
    {
        ReferenceEngine reference(kRate, 256);
        ASSERT_TRUE(reference.ready());
        EXPECT_TRUE(silent(block(5, {}, reference).left));
        play({{kModWheel, 8}, {kNoteOn, 9}});
        StereoBlock on = block(10, {midiEvent(0xB0, 1, 0, 0), midiEvent(0x90, 60, 100, 1)}, reference);
        EXPECT_EQ(firstNonZero(on.left), 1u);
        EXPECT_FALSE(silent(block(15, {}, reference).left)) << "held";
    }

    ASSERT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, kRate, 1024), kEngineOk);
    EXPECT_TRUE(keyboard()->getReduceJitter());
    blockSize_ = 1024;
    // The second run starts at +100 ms; the port's message times count from there.
    vantor::test::FakeMidiClock::set(kStart + 100);
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);

    ReferenceEngine reference(kRate, 1024);
    ASSERT_TRUE(reference.ready());
    StereoBlock first = block(120, {}, reference);
    EXPECT_TRUE(silent(first.left) && silent(first.right)) << "the note held at the stop sounds on";

    // 5 ms into the 20 ms window: trunc(5 / 20 * 1024) = frame 256.
    play({{kNoteOn, 25}});
    StereoBlock on = block(140, {midiEvent(0x90, 60, 100, 256)}, reference);
    EXPECT_EQ(firstNonZero(on.left), 256u);
    // Released half-way through the next window: frame 512.
    play({{kNoteOff, 50}});
    block(160, {midiEvent(0x80, 60, 64, 512)}, reference);
    uint32_t now = 160;
    EXPECT_GT(renderRelease(now, 20, reference), 10);
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}
