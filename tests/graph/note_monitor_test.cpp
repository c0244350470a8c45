#include "graph/MIDINoteMonitor.h"

#include "GraphDoubles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using quorvel::test::noteOff;
using quorvel::test::noteOn;
using vantor::MidiEvent;
using vantor::MidiEventArray;
using vantor::MIDINoteMonitor;

namespace {
MidiEvent message(uint8_t status, uint8_t d1, uint8_t d2) {
    MidiEvent e;
    e.status = status;
    e.data1 = d1;
    e.data2 = d2;
    return e;
}
} // namespace

TEST(MIDINoteMonitorTest, FlushOnChannelThreeAppendsOneNoteOffThenNothing) {
    MIDINoteMonitor monitor(true);
    monitor.track({noteOn(3, 60, 100, 5)});
    EXPECT_EQ(monitor.heldCount(3), 1u);
    MidiEventArray out;
    out.push_back(message(0xB0, 7, 100)); // existing content is kept
    monitor.flushNoteOffs(out, 17);
    ASSERT_EQ(out.size(), 2u);
    const MidiEvent& off = out[1];
    EXPECT_EQ(off.status, 0x93);
    EXPECT_EQ(off.data1, 60);
    EXPECT_EQ(off.data2, 0);
    EXPECT_EQ(off.reserved, 0);
    EXPECT_EQ(off.frameOffset, 17);
    EXPECT_EQ(off.timeStamp, 0u);
    EXPECT_EQ(off.noteTag, 0.0f);
    monitor.flushNoteOffs(out, 0);
    EXPECT_EQ(out.size(), 2u);
}

TEST(MIDINoteMonitorTest, VelocityZeroNoteOnAndNoteOffBothRelease) {
    MIDINoteMonitor monitor(true);
    monitor.track({noteOn(0, 60, 90, 0), noteOn(0, 64, 90, 0), noteOn(0, 67, 90, 0)});
    EXPECT_EQ(monitor.heldCount(0), 3u);
    monitor.track({noteOn(0, 64, 0, 3)});
    EXPECT_EQ(monitor.heldCount(0), 2u);
    monitor.track({noteOff(0, 60, 4)});
    EXPECT_EQ(monitor.heldCount(0), 1u);
    // Velocity is read through its low seven bits: 0x80 counts as 0.
    monitor.track({noteOn(0, 67, 0x80, 5)});
    EXPECT_EQ(monitor.heldCount(0), 0u);
    MidiEventArray out;
    monitor.flushNoteOffs(out, 0);
    EXPECT_TRUE(out.empty());
}

TEST(MIDINoteMonitorTest, PairsAreMatchedByNoteAndTagAndHeldOnce) {
    MIDINoteMonitor monitor(true);
    monitor.track({noteOn(1, 60, 100, 0, 1.5f), noteOn(1, 60, 100, 0, 2.5f), noteOn(1, 60, 100, 0, 1.5f)});
    EXPECT_EQ(monitor.heldCount(1), 2u);      // the repeated pair is held once
    monitor.track({noteOff(1, 60, 0, 9.0f)}); // no such tag: nothing happens
    EXPECT_EQ(monitor.heldCount(1), 2u);
    monitor.track({noteOff(1, 60, 0, 2.5f)});
    EXPECT_EQ(monitor.heldCount(1), 1u);
    MidiEventArray out;
    monitor.flushNoteOffs(out, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].noteTag, 1.5f);
    // -0 and 0 are the same tag; NaN tags still match themselves.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    monitor.track({noteOn(2, 10, 1, 0, -0.0f), noteOn(2, 11, 1, 0, nan)});
    monitor.track({noteOff(2, 10, 0, 0.0f), noteOff(2, 11, 0, nan)});
    EXPECT_EQ(monitor.totalHeld(), 0u);
}

TEST(MIDINoteMonitorTest, FlushOrderIsChannelThenNoteThenTag) {
    MIDINoteMonitor monitor(true);
    monitor.track({noteOn(9, 40, 1, 0), noteOn(2, 70, 1, 0, 3.0f), noteOn(2, 70, 1, 0, -1.0f),
                   noteOn(2, 20, 1, 0), noteOn(0, 127, 1, 0)});
    MidiEventArray out;
    monitor.flushNoteOffs(out, 3);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].status, 0x90);
    EXPECT_EQ(out[0].data1, 127);
    EXPECT_EQ(out[1].status, 0x92);
    EXPECT_EQ(out[1].data1, 20);
    EXPECT_EQ(out[2].data1, 70);
    EXPECT_EQ(out[2].noteTag, -1.0f);
    EXPECT_EQ(out[3].noteTag, 3.0f);
    EXPECT_EQ(out[4].status, 0x99);
    EXPECT_EQ(monitor.totalHeld(), 0u);
}

TEST(MIDINoteMonitorTest, OtherMessagesAreIgnoredAndNotesAreMaskedToSevenBits) {
    MIDINoteMonitor monitor(true);
    monitor.track({message(0xB0, 64, 127), message(0xE0, 0, 64), message(0xA0, 60, 50), message(0xF8, 0, 0)});
    EXPECT_EQ(monitor.totalHeld(), 0u);
    monitor.track({});
    monitor.track({noteOn(0, 0x80 | 60, 100, 0)});
    monitor.track({noteOff(0, 60, 0)});
    EXPECT_EQ(monitor.totalHeld(), 0u);
}

TEST(MIDINoteMonitorTest, SingleModeKeepsOneSetAndFlushesOnChannelZero) {
    MIDINoteMonitor monitor(false);
    EXPECT_FALSE(monitor.perChannel());
    monitor.track({noteOn(5, 60, 100, 0), noteOn(9, 60, 100, 0), noteOn(9, 61, 100, 0)});
    EXPECT_EQ(monitor.heldCount(0), 2u); // channel does not distinguish pairs
    monitor.track({noteOff(12, 61, 0)}); // any channel releases
    MidiEventArray out;
    monitor.flushNoteOffs(out, 8);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].status, 0x90);
    EXPECT_EQ(out[0].data1, 60);
}

TEST(MIDINoteMonitorTest, FullSetDropsTheNewNoteAndFlushSilencesItsChannel) {
    MIDINoteMonitor monitor(true);
    MidiEventArray ons;
    for (size_t i = 0; i < MIDINoteMonitor::kMaxHeldPerSet; ++i)
        ons.push_back(noteOn(4, static_cast<uint8_t>(i % 128), 100, 0, static_cast<float>(i / 128)));
    monitor.track(ons);
    EXPECT_EQ(monitor.heldCount(4), MIDINoteMonitor::kMaxHeldPerSet);
    EXPECT_EQ(monitor.droppedNoteOns(), 0u);
    monitor.track({noteOn(4, 1, 100, 0, 99.0f), noteOn(4, 2, 100, 0, 0.0f)}); // new, then already held
    EXPECT_EQ(monitor.droppedNoteOns(), 1u);
    monitor.track({noteOn(6, 1, 100, 0)}); // other channels are unaffected
    EXPECT_EQ(monitor.heldCount(6), 1u);

    MidiEventArray out;
    out.reserve(monitor.maxFlushEvents());
    const auto* before = out.data();
    monitor.flushNoteOffs(out, 0);
    EXPECT_EQ(out.data(), before); // the documented reserve suffices
    ASSERT_EQ(out.size(), MIDINoteMonitor::kMaxHeldPerSet + 2);
    // Channel 4's note-offs, then All Notes Off on channel 4, then channel 6.
    const MidiEvent& allOff = out[MIDINoteMonitor::kMaxHeldPerSet];
    EXPECT_EQ(allOff.status, 0xB4);
    EXPECT_EQ(allOff.data1, 123);
    EXPECT_EQ(allOff.data2, 0);
    EXPECT_EQ(out.back().status, 0x96);
    out.clear();
    monitor.flushNoteOffs(out, 0);
    EXPECT_TRUE(out.empty()); // the overflow mark is cleared by the flush
}

TEST(MIDINoteMonitorTest, MaxFlushEventsBoundsAWorstCaseFlush) {
    for (bool perChannel : {true, false}) {
        MIDINoteMonitor monitor(perChannel);
        MidiEventArray ons;
        for (int ch = 0; ch < 16; ++ch)
            for (size_t i = 0; i < MIDINoteMonitor::kMaxHeldPerSet + 3; ++i)
                ons.push_back(noteOn(static_cast<uint8_t>(ch), static_cast<uint8_t>(i % 128), 1, 0,
                                     static_cast<float>(i / 128 + ch * 10)));
        monitor.track(ons);
        MidiEventArray out;
        monitor.flushNoteOffs(out, 0);
        EXPECT_EQ(out.size(), monitor.maxFlushEvents()) << perChannel;
    }
}
