// What the instrument plays: placement at frame offsets, determinism, envelopes, pedal, voices,
// controller messages, and no allocation while rendering.
#include "EngineFixture.h"

#include "support/AllocCounter.h"
#include "Synth.h"

#include <cmath>
#include <cstring>

using namespace enginetest;

namespace {
constexpr float kQuiet = 1e-6f;
}

TEST_F(EngineTest, SameInputRendersTheSameBytes) {
    const std::vector<Event> chord = {
        {0x90, 60, 100, 3}, {0x90, 64, 80, 17}, {0x90, 67, 127, 200}, {0x80, 60, 0, 250}};
    const std::vector<float> first = renderLeft(48000, 256, chord);
    // A second engine, and the same engine after a stop/start, render the same bytes.
    TempDir other;
    other.copyShipped("Brevian.dat");
    Descriptor d(other.utf8());
    void* second = nullptr;
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_CREATE, &d.raw, &second, nullptr, 0, 0, 0, 0.f), 0);
    std::swap(engine, second);
    ASSERT_EQ(op(BREVIAN_OP_SET_STREAM, nullptr, nullptr, kRate, 256), 0);
    const std::vector<float> again = renderLeft(48000, 256, chord);
    std::swap(engine, second);
    EXPECT_EQ(brevianOpcode(second, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    ASSERT_EQ(first.size(), again.size());
    EXPECT_EQ(std::memcmp(first.data(), again.data(), first.size() * sizeof(float)), 0);
    EXPECT_GT(peak(first, 0, first.size()), 0.01f);

    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START, nullptr, nullptr, 0);
    const std::vector<float> afterRestart = renderLeft(48000, 256, chord);
    EXPECT_EQ(std::memcmp(first.data(), afterRestart.data(), first.size() * sizeof(float)), 0);
}

TEST_F(EngineTest, NoteStartsExactlyAtItsFrameOffset) {
    // The factory default has a short attack, so the note is well audible within the block.
    const std::string factory = std::string(QUORVEL_ENGINE_DATA_DIR) + "/default.brevian";
    ASSERT_EQ(op(BREVIAN_OP_OPEN_FILE, const_cast<char*>(factory.c_str())), 0);
    for (int k : {0, 1, 100, 255}) {
        op(BREVIAN_OP_STOP); // clears the previous note
        op(BREVIAN_OP_START);
        const std::vector<float> both = block(256, {{0x90, 69, 127, k}});
        for (int i = 0; i < k; ++i) {
            ASSERT_EQ(both[2 * i], 0.f) << "k=" << k << " frame " << i;
            ASSERT_EQ(both[2 * i + 1], 0.f);
        }
        float after = 0.f;
        for (int i = k; i < std::min(256, k + 8); ++i)
            after = std::max(after, std::fabs(both[2 * i]));
        EXPECT_GT(after, 0.f) << "k=" << k;
        float rest = 0.f;
        for (int i = k; i < 256; ++i)
            rest = std::max(rest, std::fabs(both[2 * i]));
        if (k < 200) {
            EXPECT_GT(rest, 1e-3f) << "k=" << k;
        }
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(both[2 * i], both[2 * i + 1]); // centred voice
    }
}

TEST_F(EngineTest, EventsOutsideTheBlockAreClampedNotLost) {
    // An offset past the end takes effect on the last frame; a negative one at the first.
    const std::vector<float> late = block(64, {{0x90, 69, 127, 5000}});
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(late[2 * i], 0.f);
    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START);
    const std::vector<float> early = block(64, {{0x90, 69, 127, -40}});
    EXPECT_NE(early[0], 0.f);
}

TEST_F(EngineTest, NoteOffReleasesToSilenceWithinTheReleaseTime) {
    // Factory patch 1 ("Warm Pad") has a 1.2 s release; end of release is -80 dB.
    const int hold = kRate / 2;
    std::vector<float> out = renderLeft(hold, 256, {{0x90, 57, 110, 0}});
    const float held = peak(out, hold - 2000, hold);
    ASSERT_GT(held, 0.01f);
    const std::vector<float> tail = renderLeft(2 * kRate, 256, {{0x80, 57, 64, 0}});
    EXPECT_LT(peak(tail, static_cast<std::size_t>(1.25 * kRate), tail.size()), kQuiet);
    EXPECT_GT(peak(tail, 0, 2000), held * 0.5f); // a release, not a cut
    EXPECT_LT(peak(tail, kRate / 2, kRate / 2 + 2000), held * 0.5f);

    // Note-on with velocity 0 is a note-off too.
    renderLeft(hold, 256, {{0x91, 60, 110, 0}});
    const std::vector<float> tail2 = renderLeft(2 * kRate, 256, {{0x91, 60, 0, 0}});
    EXPECT_LT(peak(tail2, static_cast<std::size_t>(1.25 * kRate), tail2.size()), kQuiet);
}

TEST_F(EngineTest, SustainPedalHoldsReleasedNotesUntilLifted) {
    renderLeft(kRate / 4, 256, {{0xB0, 64, 127, 0}, {0x90, 60, 100, 0}});
    // Key up while the pedal is down: still sounding two seconds later.
    const std::vector<float> held = renderLeft(2 * kRate, 256, {{0x80, 60, 0, 0}});
    EXPECT_GT(peak(held, held.size() - 4000, held.size()), 0.01f);
    // Pedal up: released.
    const std::vector<float> lifted = renderLeft(2 * kRate, 256, {{0xB0, 64, 0, 0}});
    EXPECT_LT(peak(lifted, static_cast<std::size_t>(1.25 * kRate), lifted.size()), kQuiet);
    // The pedal of one channel does not hold notes of another.
    renderLeft(kRate / 4, 256, {{0xB0, 64, 127, 0}, {0x91, 62, 100, 0}});
    const std::vector<float> other = renderLeft(2 * kRate, 256, {{0x81, 62, 0, 0}});
    EXPECT_LT(peak(other, static_cast<std::size_t>(1.25 * kRate), other.size()), kQuiet);
}

TEST_F(EngineTest, AllNotesOffReleasesAndAllSoundOffCuts) {
    renderLeft(kRate / 4, 256, {{0xB0, 64, 127, 0}, {0x90, 60, 100, 0}, {0x90, 64, 100, 0}});
    const std::vector<float> off = renderLeft(2 * kRate, 256, {{0xB0, 123, 0, 0}});
    EXPECT_GT(peak(off, 0, 1000), 0.01f); // released, not cut
    EXPECT_LT(peak(off, static_cast<std::size_t>(1.25 * kRate), off.size()), kQuiet);

    renderLeft(kRate / 4, 256, {{0x90, 60, 100, 0}});
    const std::vector<float> cut = block(256, {{0xB0, 120, 0, 10}});
    for (int i = 10; i < 256; ++i)
        ASSERT_EQ(cut[2 * i], 0.f);
    EXPECT_NE(cut[0], 0.f);
}

TEST_F(EngineTest, LouderAndBrighterWithVelocity) {
    const std::vector<float> soft = renderLeft(kRate / 4, 256, {{0x90, 60, 30, 0}});
    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START);
    const std::vector<float> loud = renderLeft(kRate / 4, 256, {{0x90, 60, 120, 0}});
    EXPECT_GT(peak(loud, 0, loud.size()), 2.f * peak(soft, 0, soft.size()));
}

TEST_F(EngineTest, TwentyNotesTogetherSoundAsTheSumOfEachAlone) {
    // Voices are independent, so a chord must equal the sum of its notes rendered one by one:
    // a dropped or stolen voice would show as a difference.
    constexpr int kNotes = 20;
    constexpr int kFrames = kRate / 8;
    std::vector<Event> chord;
    std::vector<double> sum(kFrames, 0.0);
    for (int n = 0; n < kNotes; ++n) {
        const Event e{0x90, static_cast<uint8_t>(40 + 2 * n), static_cast<uint8_t>(60 + n), n * 3};
        chord.push_back(e);
        op(BREVIAN_OP_STOP);
        op(BREVIAN_OP_START);
        const std::vector<float> alone = renderLeft(kFrames, 256, {e});
        for (int i = 0; i < kFrames; ++i)
            sum[i] += alone[i];
    }
    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START);
    const std::vector<float> together = renderLeft(kFrames, 256, chord);
    double worst = 0.0;
    for (int i = 0; i < kFrames; ++i)
        worst = std::max(worst, std::fabs(together[i] - sum[i]));
    EXPECT_LT(worst, 1e-4);
    EXPECT_GT(peak(together, 0, together.size()), 0.05f);
}

TEST(EngineSynth, ThirtyTwoVoicesThenTheOldestIsStolen) {
    brevian::Synth synth;
    synth.setSampleRate(48000);
    brevian::Patch patch;
    for (int n = 0; n < brevian::kVoiceCount; ++n)
        synth.handleEvent(0x90, static_cast<uint8_t>(30 + n), 100, patch);
    EXPECT_EQ(synth.activeVoices(), brevian::kVoiceCount);
    EXPECT_GE(brevian::kVoiceCount, 16);
    // One more note steals; the count stays at the pool size and the new note sounds.
    synth.handleEvent(0x90, 100, 100, patch);
    EXPECT_EQ(synth.activeVoices(), brevian::kVoiceCount);
    std::vector<float> l(256, 0.f), r(256, 0.f);
    synth.render(nullptr, 0, l.data(), r.data(), 256, patch);
    // The oldest (note 30) was the one taken: releasing notes 30 and 31 ends one voice, not two.
    synth.handleEvent(0x80, 30, 0, patch);
    synth.handleEvent(0x80, 31, 0, patch);
    for (int b = 0; b < 200; ++b)
        synth.render(nullptr, 0, l.data(), r.data(), 256, patch); // > release time
    EXPECT_EQ(synth.activeVoices(), brevian::kVoiceCount - 1);
    // A key struck again reuses its voice rather than taking a second one.
    synth.handleEvent(0x90, 100, 50, patch);
    EXPECT_EQ(synth.activeVoices(), brevian::kVoiceCount - 1);
}

TEST_F(EngineTest, RenderingAllocatesNothing) {
    BrevianEventBlock eb{};
    std::vector<float> left(512), right(512);
    float* outs[2] = {left.data(), right.data()};
    eb.count = 3;
    eb.events[0] = BrevianMidiEvent{0x90, 60, 100, 0, 5, 0, 0.f};
    eb.events[1] = BrevianMidiEvent{0xB0, 64, 127, 0, 6, 0, 0.f};
    eb.events[2] = BrevianMidiEvent{0x80, 60, 0, 0, 400, 0, 0.f};
    op(BREVIAN_OP_PROCESS, &eb, outs, 512); // warm-up
    quorvel::test::AllocCounter::arm();
    for (int i = 0; i < 200; ++i) {
        eb.events[0].data1 = static_cast<uint8_t>(40 + i % 40);
        brevianOpcode(engine, BREVIAN_OP_PROCESS, &eb, outs, nullptr, 512, 0, 0, 0.f);
    }
    const uint64_t count = quorvel::test::AllocCounter::disarm();
    EXPECT_EQ(count, 0u);
}

TEST_F(EngineTest, ACountBeyondTheBlockCapacityIsCappedNotTrusted) {
    BrevianEventBlock eb{};
    for (int i = 0; i < BREVIAN_MAX_BLOCK_EVENTS; ++i)
        eb.events[i] = BrevianMidiEvent{0x90, static_cast<uint8_t>(i % 128), 100, 0, i % 256, 0, 0.f};
    eb.count = UINT64_MAX; // a damaged count must not make the engine read past the records
    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    EXPECT_EQ(op(BREVIAN_OP_PROCESS, &eb, outs, 256), 0);
    EXPECT_GT(peak(left, 0, left.size()), 0.f);
}
