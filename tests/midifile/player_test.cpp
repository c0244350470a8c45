// The player block by block: span and frame placement, tempo, resets and note-offs, seek, the
// end of the song, failed loads, and the allocation-free steady state.
#include "graph/DSPInfo.h"
#include "midifile/MIDIFilePlayer.h"
#include "midifile/SmfBuilder.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using smf::Bytes;
using smf::TempFile;
using smf::Track;
using vantor::DSPInfo;
using vantor::MidiEvent;
using vantor::MidiEventArray;
using vantor::MIDIFilePlayer;

constexpr double kSpan120At44100 = 2.0 * 512.0 / 44100.0; // beats per 512-frame block at 120 BPM

struct Ev {
    int status, data1, data2, offset;
    bool operator==(const Ev&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Ev& e) {
    return o << "{0x" << std::hex << e.status << std::dec << "," << e.data1 << "," << e.data2 << " @"
             << e.offset << "}";
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { useRate(44100, 512); }

    void useRate(double rate, uint32_t frames) {
        info = std::make_unique<DSPInfo>(rate, frames);
        player.init(nullptr, info.get());
    }

    bool load(const Bytes& bytes) {
        files.push_back(std::make_unique<TempFile>(bytes, "player.mid"));
        return player.load(files.back()->path());
    }

    std::vector<Ev> block() {
        player.advance();
        MidiEventArray out;
        player.getBlockEvents(out);
        std::vector<Ev> evs;
        for (const MidiEvent& e : out) {
            EXPECT_EQ(e.timeStamp, 0u);
            EXPECT_EQ(e.noteTag, 0.0f);
            evs.push_back({e.status, e.data1, e.data2, e.frameOffset});
        }
        return evs;
    }

    // The 48 controller resets at offset 0, channel by channel.
    static std::vector<Ev> resets() {
        std::vector<Ev> r;
        for (int ch = 0; ch < 16; ++ch)
            for (int cc : {64, 123, 120})
                r.push_back({0xB0 | ch, cc, 0, 0});
        return r;
    }
    static std::vector<Ev> withResets(std::vector<Ev> tail) {
        std::vector<Ev> all = resets();
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    }

    double beats(double length) { return player.getPosition() * length; }

    std::unique_ptr<DSPInfo> info;
    MIDIFilePlayer player;
    std::vector<std::unique_ptr<TempFile>> files;
};

TEST_F(PlayerTest, BlockSpanAndFramePlacementAt120) {
    // Division 60000: tick 697 is near the middle of the first block, tick 1393 just before its end.
    ASSERT_TRUE(load(smf::file(1, 60000,
                               {Track()
                                    .noteOn(0, 0, 60, 100)
                                    .noteOn(697, 0, 61, 100)
                                    .noteOn(696, 0, 62, 100)
                                    .noteOn(1, 0, 63, 100)
                                    .end(240000 - 1394)})));
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 60, 100, 0}, {0x90, 61, 100, 256}, {0x90, 62, 100, 511}}));
    EXPECT_NEAR(beats(4.0), 0.023219954, 1e-9);
    EXPECT_NEAR(beats(4.0), kSpan120At44100, 1e-12);
    // Tick 1394 is just past the first block's end: early in the second one.
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 63, 100, 0}}));
}

TEST_F(PlayerTest, ExactMiddleOfASpanRoundsHalfToEven) {
    // 750 frames at 48 kHz at 120 BPM span exactly 1/32 beat; 1/64 beat is its middle: 0.5 * 749 = 374.5.
    useRate(48000, 750);
    ASSERT_TRUE(load(smf::file(1, 64, {Track().noteOn(1, 0, 60, 1).noteOn(2, 0, 61, 1).end(256)})));
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 60, 1, 374}}));
    // One block is two ticks: the note at tick 3 sits in the middle of the second block.
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 61, 1, 374}}));
}

TEST_F(PlayerTest, EqualBeatsPlayInFileOrder) {
    ASSERT_TRUE(load(smf::file(
        1, 96,
        {Track().noteOn(0, 0, 70, 1).noteOn(0, 0, 71, 1).end(384), Track().noteOn(0, 0, 50, 1).end(384)})));
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 70, 1, 0}, {0x90, 71, 1, 0}, {0x90, 50, 1, 0}}));
}

TEST_F(PlayerTest, NoTempoPlaysAt120AndTheFirstTempoAppliesWhereverItLies) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().end(384)})));
    player.startPlayback();
    block();
    EXPECT_NEAR(beats(4.0), kSpan120At44100, 1e-12);

    ASSERT_TRUE(load(smf::file(1, 96, {Track().tempo(96, 1000000).end(288)}))); // 60 BPM from beat 1
    player.startPlayback();
    block();
    EXPECT_NEAR(beats(4.0), kSpan120At44100 / 2, 1e-12);
}

TEST_F(PlayerTest, TempoChangeInsideABlockAppliesToTheWholeBlock) {
    // 120 at 0, 60 at beat 0.01 (inside the first block's window at 120).
    ASSERT_TRUE(load(smf::file(1, 1000, {Track().tempo(0, 500000).tempo(10, 1000000).end(3990)})));
    player.startPlayback();
    block();
    EXPECT_NEAR(beats(4.0), kSpan120At44100 / 2, 1e-12);
    block();
    EXPECT_NEAR(beats(4.0), kSpan120At44100, 1e-12);
}

TEST_F(PlayerTest, TempoChangeAtBeatZeroAppliesToTheFirstBlock) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().tempo(0, 250000).end(384)}))); // 240 BPM
    player.startPlayback();
    block();
    EXPECT_NEAR(beats(4.0), kSpan120At44100 * 2, 1e-12);
}

TEST_F(PlayerTest, StopSendsResetsThenNoteOffsOnceThenNothing) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(0, 1, 64, 90).noteOn(0, 0, 60, 90).end(384)})));
    player.startPlayback();
    EXPECT_EQ(block().size(), 2u);
    player.stopPlayback();
    EXPECT_EQ(block(), withResets({{0x90, 60, 0, 0}, {0x91, 64, 0, 0}}));
    EXPECT_TRUE(block().empty());
    EXPECT_TRUE(block().empty());
    // Position stays where it stopped; playing on continues from there.
    player.startPlayback();
    EXPECT_TRUE(block().empty());
    EXPECT_NEAR(beats(4.0), 2 * kSpan120At44100, 1e-12);
}

TEST_F(PlayerTest, SeekDuringPlaybackFlushesThenPlaysFromTheNewBeat) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(0, 0, 60, 90).noteOn(768, 0, 72, 90).end(768)})));
    player.startPlayback();
    EXPECT_EQ(block().size(), 1u);
    player.seek(0.5f);
    EXPECT_DOUBLE_EQ(player.getPosition(), 0.5);
    EXPECT_EQ(block(), withResets({{0x90, 60, 0, 0}, {0x90, 72, 90, 0}}));
    EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, SeekWhileStoppedSendsTheResetsWithTheFirstPlayingBlock) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(768, 0, 72, 90).end(768)})));
    player.seek(0.5f);
    EXPECT_TRUE(block().empty());
    player.startPlayback();
    EXPECT_EQ(block(), withResets({{0x90, 72, 90, 0}}));
}

TEST_F(PlayerTest, SeekKeepsTheTempoInUse) {
    // 120 until beat 8, then 60: seeking to beat 12 still plays at 120 until the next change.
    ASSERT_TRUE(load(smf::file(1, 96, {Track().tempo(0, 500000).tempo(768, 1000000).end(768)})));
    player.seek(0.75f);
    player.startPlayback();
    block();
    EXPECT_NEAR(beats(16.0) - 12.0, kSpan120At44100, 1e-9);
}

TEST_F(PlayerTest, SeekOutsideTheFileIsClamped) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().end(384)})));
    player.seek(7.0f);
    EXPECT_DOUBLE_EQ(player.getPosition(), 1.0);
    player.seek(-3.0f);
    EXPECT_DOUBLE_EQ(player.getPosition(), 0.0);
    player.seek(std::nanf(""));
    EXPECT_DOUBLE_EQ(player.getPosition(), 0.0);
}

TEST_F(PlayerTest, PositionIsZeroWithoutAFileAndExactlyOneAtTheEnd) {
    EXPECT_EQ(player.getPosition(), 0.0);
    player.startPlayback();
    EXPECT_TRUE(block().empty()); // playing without a file does nothing...
    player.stopPlayback();
    EXPECT_EQ(block(), resets()); // ...but the stop still silences the instrument

    ASSERT_TRUE(load(smf::file(1, 96, {Track().controller(0, 0, 7, 90).end(96)}))); // 1 beat, one 4/4 bar
    player.startPlayback();
    EXPECT_EQ(player.getPosition(), 0.0);
    int blocks = 1;
    while (block() != resets() && blocks < 1000)
        ++blocks;
    EXPECT_EQ(player.getPosition(), 1.0);
    // The bar runs to beat 4: the song ends with the first block that starts past it.
    EXPECT_EQ(blocks, static_cast<int>(std::ceil(4.0 / kSpan120At44100)) + 1);
    EXPECT_EQ(block(), resets()); // every further block repeats the resets while playing
    EXPECT_EQ(player.getPosition(), 1.0);
    player.stopPlayback();
    EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, TheEndFlushesNotesStillHeld) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(0, 3, 60, 90).end(96)})));
    player.startPlayback();
    std::vector<Ev> last;
    for (int i = 0; i < 1000 && last.size() < 48; ++i)
        last = block();
    EXPECT_EQ(last, withResets({{0x93, 60, 0, 0}}));
}

TEST_F(PlayerTest, FailedLoadDropsThePreviousFile) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(0, 0, 60, 90).end(384)})));
    player.startPlayback();
    block();
    EXPECT_GT(player.getPosition(), 0.0);
    EXPECT_FALSE(player.load("/nonexistent/quorvel/missing.mid"));
    EXPECT_EQ(player.getPosition(), 0.0);
    EXPECT_EQ(block(), withResets({{0x90, 60, 0, 0}})); // the load stopped playback
    player.startPlayback();
    EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, LoadStopsAndRewinds) {
    ASSERT_TRUE(load(smf::file(1, 96, {Track().end(384)})));
    player.startPlayback();
    block();
    ASSERT_TRUE(load(smf::file(1, 96, {Track().noteOn(0, 0, 60, 90).end(384)})));
    EXPECT_EQ(player.getPosition(), 0.0);
    EXPECT_EQ(block(), resets());
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 60, 90, 0}}));
}

TEST_F(PlayerTest, BytesInMemoryLoadAndPlayAsAFileDoes) {
    const Bytes bytes =
        smf::file(1, 96, {Track().noteOn(0, 0, 60, 90).noteOn(96, 0, 62, 90).end(288)}); // 4 beats
    ASSERT_TRUE(player.loadFromMemory(bytes.data(), bytes.size()));
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 60, 90, 0}}));
    player.seek(0.25f); // beat 1
    EXPECT_EQ(block(), withResets({{0x90, 60, 0, 0}, {0x90, 62, 90, 0}}));
    // Loading from memory stops and rewinds as a load from a file does.
    ASSERT_TRUE(player.loadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(player.getPosition(), 0.0);
    EXPECT_EQ(block(), withResets({{0x90, 62, 0, 0}}));
    EXPECT_FALSE(player.loadFromMemory(nullptr, 0)); // nothing: no MIDI file, and no file left
    player.startPlayback();
    EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, BrokenFilesStillLoadAndPlaySafely) {
    Bytes truncated = smf::file(1, 96, {Track().noteOn(0, 0, 60, 90).noteOn(96, 0, 62, 90).end(96)});
    truncated.erase(truncated.end() - 8, truncated.end());
    ASSERT_TRUE(load(truncated));
    player.startPlayback();
    EXPECT_EQ(block(), (std::vector<Ev>{{0x90, 60, 90, 0}}));
    EXPECT_FALSE(load(smf::file(1, 0, {Track().noteOn(0, 0, 60, 90).end(96)}))); // division 0: refused
    EXPECT_EQ(block(), withResets({{0x90, 60, 0, 0}}));                          // the load stopped playback
    player.startPlayback();
    EXPECT_TRUE(block().empty()); // no file
    EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, AdvanceAllocatesNothingAfterLoad) {
    // Dense: a chord of 16 notes on 16 channels every 1/8 beat, and a controller between.
    Track t;
    for (int step = 0; step < 256; ++step) {
        for (int ch = 0; ch < 16; ++ch)
            t.noteOn(0, ch, 36 + (step + ch) % 90, 100);
        t.controller(6, 0, 1, step & 0x7F);
        for (int ch = 0; ch < 16; ++ch)
            t.noteOff(0, ch, 36 + (step + ch) % 90, 0);
        t.noteOn(6, 5, 100, 1); // left hanging: flushed on stop, seek and the end
    }
    ASSERT_TRUE(load(smf::file(1, 96, {t.end()})));
    MidiEventArray out;
    out.reserve(1 << 14);
    player.startPlayback();
    uint64_t allocations = 0;
    size_t produced = 0;
    {
        quorvel::test::AllocScope scope;
        for (int i = 0; i < 6000; ++i) {
            if (i == 500) player.stopPlayback();
            if (i == 510) player.startPlayback();
            if (i == 700) player.seek(0.25f);
            player.advance();
            player.getBlockEvents(out);
            produced += out.size();
            out.clear();
        }
        allocations = scope.count();
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(produced, 10000u);
    EXPECT_EQ(player.getPosition(), 1.0); // the run reached the end and kept flushing
}

} // namespace
