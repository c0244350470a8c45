// MIDIDriver: opening, the start time base, what the callback keeps, the receive ring and its
// overflow, flushing, and closing.
#include "midi/MIDIDriver.h"
#include "midi/MIDIPortTable.h"
#include "support/LogCapture.h"
#include "support/VirtualMidiScope.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace vantor;
using vantor::test::FakeMidiClock;
using vantor::test::LogCapture;
using vantor::test::VirtualMidiScope;

namespace {

constexpr uint64_t kNs = 1000000ULL;

struct Driver : ::testing::Test {
    VirtualMidiScope midi;
    LogCapture log;
    int out = 0; // port id 0
    int in = 0;  // port id 1

    void SetUp() override {
        out = midi.api().addOutput("Synth");
        in = midi.api().addInput("Keys");
        std::vector<int32_t> ids;
        listMIDIPorts(ids);
        ASSERT_EQ(ids.size(), 2u);
        FakeMidiClock::set(10000);
    }

    std::vector<MidiInputEvent> drain(MIDIDriver& driver) {
        std::vector<MidiInputEvent> events;
        MidiInputEvent e;
        while (driver.readEvent(e))
            events.push_back(e);
        return events;
    }
};

TEST_F(Driver, OpensInputsAndOutputsAndClosesThemOnDestruction) {
    {
        MIDIDriver input(1, &FakeMidiClock::now);
        MIDIDriver output(0, &FakeMidiClock::now);
        EXPECT_TRUE(input.isOpen());
        EXPECT_TRUE(input.isInput());
        EXPECT_TRUE(output.isOpen());
        EXPECT_FALSE(output.isInput());
        EXPECT_TRUE(midi.api().isOpen(in));
        EXPECT_TRUE(midi.api().isOpen(out));
        EXPECT_FALSE(input.isRunning());
    }
    EXPECT_FALSE(midi.api().isOpen(in));
    EXPECT_FALSE(midi.api().isOpen(out));
    EXPECT_TRUE(log.has('I', "MIM_OPEN"));
    EXPECT_TRUE(log.has('I', "MIM_CLOSE"));
    // Closed ports can be opened again.
    MIDIDriver again(1);
    EXPECT_TRUE(again.isOpen());
}

TEST_F(Driver, RefusedOpensThrowAndLogTheResult) {
    midi.api().setOpenResult(in, midiresult::kAllocated);
    midi.api().setOpenResult(out, midiresult::kNoDriver);
    try {
        MIDIDriver d(1);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot open MIDI input");
    }
    try {
        MIDIDriver d(0);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot open MIDI output");
    }
    EXPECT_TRUE(log.has('E', "MIDIDriver: Cannot open MIDI input interface 1 with result:4"));
    EXPECT_TRUE(log.has('E', "MIDIDriver: Cannot open MIDI output interface 0 with result:6"));
}

TEST_F(Driver, UnknownPortGivesAnInertDriver) {
    MIDIDriver driver(42);
    EXPECT_FALSE(driver.isOpen());
    driver.start(nullptr);
    MidiInputEvent e;
    EXPECT_FALSE(driver.readEvent(e));
    driver.flush();
    driver.stop();

    // Opening never enumerates: after a clear the same id is unknown until someone lists.
    clearMIDIPorts();
    MIDIDriver notYet(1);
    EXPECT_FALSE(notYet.isOpen());
    EXPECT_FALSE(midi.api().isOpen(in));
}

TEST_F(Driver, StartTakesTheTimeBaseAndStampsArrivalsInNanoseconds) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    EXPECT_TRUE(driver.isRunning());
    EXPECT_TRUE(midi.api().isStarted(in));
    EXPECT_EQ(driver.timeBase(), 10000u);
    EXPECT_TRUE(log.has('I', "MIDI In start 10000:10000 m:10000"));

    ASSERT_TRUE(midi.api().sendShortAt(in, 0x403C90, 25));
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x003C80, 4000000)); // far beyond 32 bits of ns
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].status, 0x90);
    EXPECT_EQ(events[0].data1, 0x3C);
    EXPECT_EQ(events[0].data2, 0x40);
    EXPECT_EQ(events[0].time, 10025 * kNs);
    EXPECT_EQ(events[1].status, 0x80);
    EXPECT_EQ(events[1].time, 4010000 * kNs);
}

TEST_F(Driver, ArrivalTimesFollowTheMultimediaClockAcrossItsWrap) {
    FakeMidiClock::set(0xFFFFFFF0u);
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x90, 0x20)); // 16 ms after the wrap
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].time, 0x10u * kNs);
}

TEST_F(Driver, FailedStartIsLoggedAndStillRuns) {
    midi.api().setStartResult(in, midiresult::kError);
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    EXPECT_TRUE(log.has('E', "ERROR MidiInStart:1"));
    EXPECT_TRUE(driver.isRunning());
}

TEST_F(Driver, OnlyMessagesReceivedSinceTheLastStartAreRead) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3090, 1)); // delivered, but not running
    driver.start(nullptr);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3190, 2));
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3290, 3));
    MidiInputEvent e;
    ASSERT_TRUE(driver.readEvent(e));
    EXPECT_EQ(e.data1, 0x31);

    // Stopping ends the input: what was left unread is never read, nor is what comes after.
    driver.stop();
    EXPECT_FALSE(midi.api().isStarted(in));
    EXPECT_EQ(driver.pending(), 0u);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3390, 4));
    EXPECT_TRUE(drain(driver).empty());

    // Nor after the next start: it delivers only what arrives from then on. A second stop is
    // harmless.
    driver.start(nullptr);
    EXPECT_TRUE(drain(driver).empty());
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3490, 5));
    driver.stop();
    driver.stop();
    EXPECT_TRUE(drain(driver).empty());
    driver.start(nullptr);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F3590, 6));
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data1, 0x35);
}

TEST_F(Driver, AStartWhileRunningDropsWhatArrivedBeforeIt) {
    // A port can run while audio does not (brought back by a re-plug while stopped): the start
    // that comes with audio must not hand over what the port queued until then.
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    for (uint32_t i = 0; i < 100; ++i)
        ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F0090 | (i << 8), i));
    EXPECT_EQ(driver.pending(), 100u);
    driver.start(nullptr);
    EXPECT_EQ(driver.pending(), 0u);
    ASSERT_TRUE(midi.api().sendShortAt(in, 0x7F6490, 0));
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data1, 0x64);
}

TEST_F(Driver, DataBytesAreMaskedAndTheStatusIsPassedAsItCame) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    midi.api().sendShortAt(in, 0xFFFFFF9F, 0); // high byte and bit 7 of both data bytes set
    midi.api().sendShortAt(in, 0x00804512, 0); // a running-status style byte stays as it is
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].status, 0x9F);
    EXPECT_EQ(events[0].data1, 0x7F);
    EXPECT_EQ(events[0].data2, 0x7F);
    EXPECT_EQ(events[1].status, 0x12);
    EXPECT_EQ(events[1].data1, 0x45);
    EXPECT_EQ(events[1].data2, 0x00);
}

TEST_F(Driver, NotificationsOtherThanDataAreDroppedWithTheirLogLines) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    const size_t linesBefore = log.messages().size();
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    ASSERT_TRUE(midi.api().sendSysex(in, sysex, sizeof(sysex)));
    ASSERT_TRUE(midi.api().sendRaw(in, MidiInMessage::Other, 0x7F3C90, 1));
    EXPECT_EQ(log.messages().size(), linesBefore); // sysex and unknown messages: silent
    EXPECT_EQ(driver.pending(), 0u);

    ASSERT_TRUE(midi.api().sendRaw(in, MidiInMessage::Error, 0x123456, 1));
    ASSERT_TRUE(midi.api().sendRaw(in, MidiInMessage::LongError, 0, 1));
    EXPECT_TRUE(log.has('E', "MIM_ERROR"));
    EXPECT_TRUE(log.has('E', "MIM_LONGERROR"));
    EXPECT_EQ(driver.pending(), 0u);

    // "More data" is kept like data, and complained about.
    ASSERT_TRUE(midi.api().sendRaw(in, MidiInMessage::MoreData, 0x7F3C90, 7));
    EXPECT_TRUE(log.has('E', "MIM_MOREDATA PLEASE contact us and give us your MIDI device details!"));
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].time, 10007 * kNs);
}

TEST_F(Driver, EmptyReadsChangeNothing) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    MidiInputEvent e;
    e.status = 0x55;
    EXPECT_FALSE(driver.readEvent(e));
    EXPECT_FALSE(driver.readEvent(e));
    EXPECT_EQ(e.status, 0x55);
    EXPECT_EQ(driver.pending(), 0u);
    midi.api().sendShortAt(in, 0x90, 0);
    EXPECT_EQ(driver.pending(), 1u);
    EXPECT_TRUE(driver.readEvent(e));
    EXPECT_FALSE(driver.readEvent(e));
}

TEST_F(Driver, AFullRingDropsTheNewestAndCountsTheDrops) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    // 4096 pushes without a read: the ring keeps the first 4095.
    for (uint32_t i = 0; i < MIDIDriver::kQueueSize; ++i)
        midi.api().sendShortAt(in, 0x90 | ((i & 0x7F) << 8) | (((i >> 7) & 0x7F) << 16), i);
    EXPECT_EQ(driver.pending(), MIDIDriver::kQueueSize - 1);
    EXPECT_EQ(driver.droppedCount(), 1u);
    // The callback itself never logs the drop.
    EXPECT_EQ(log.count("dropped"), 0u);

    // Room again after a read; ring order is kept throughout.
    MidiInputEvent first;
    ASSERT_TRUE(driver.readEvent(first));
    EXPECT_EQ(first.data1, 0);
    midi.api().sendShortAt(in, 0x90 | (0x55 << 8), 9999);
    midi.api().sendShortAt(in, 0x90 | (0x66 << 8), 9999); // full again: dropped
    EXPECT_EQ(driver.droppedCount(), 2u);
    auto events = drain(driver);
    ASSERT_EQ(events.size(), MIDIDriver::kQueueSize - 1);
    for (uint32_t i = 0; i + 1 < events.size(); ++i) {
        const uint32_t n = i + 1;
        ASSERT_EQ(events[i].data1, n & 0x7F) << i;
        ASSERT_EQ(events[i].data2, (n >> 7) & 0x7F) << i;
    }
    EXPECT_EQ(events.back().data1, 0x55);

    // Reported once, from stop.
    driver.stop();
    EXPECT_TRUE(log.has('W', "MIDIDriver: port 1 receive queue full, 2 message(s) dropped"));
    EXPECT_EQ(driver.reportDrops(), 0u);
    EXPECT_EQ(log.count("dropped"), 1u);
}

TEST_F(Driver, FlushDiscardsWhatIsPendingOnly) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    for (int i = 0; i < 10; ++i)
        midi.api().sendShortAt(in, 0x90 | (i << 8), i);
    driver.flush();
    EXPECT_EQ(driver.pending(), 0u);
    MidiInputEvent e;
    EXPECT_FALSE(driver.readEvent(e));
    midi.api().sendShortAt(in, 0x80 | (0x22 << 8), 11);
    auto events = drain(driver);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data1, 0x22);
    // The ring still holds 4095 after a flush that left the indices mid-way.
    for (uint32_t i = 0; i < MIDIDriver::kQueueSize + 10; ++i)
        midi.api().sendShortAt(in, 0x90, 0);
    EXPECT_EQ(driver.pending(), MIDIDriver::kQueueSize - 1);
    EXPECT_EQ(driver.droppedCount(), 11u);
}

TEST_F(Driver, OutputsOnlyRunAndReset) {
    MIDIDriver output(0, &FakeMidiClock::now);
    output.start(nullptr);
    EXPECT_TRUE(output.isRunning());
    EXPECT_FALSE(log.count("MIDI In start"));
    MidiInputEvent e;
    EXPECT_FALSE(output.readEvent(e));
    output.stop();
    EXPECT_FALSE(output.isRunning());
}

TEST_F(Driver, APortRemovedWhileOpenDeliversNothingMore) {
    MIDIDriver driver(1, &FakeMidiClock::now);
    driver.start(nullptr);
    ASSERT_TRUE(midi.api().removePort(in));
    EXPECT_FALSE(midi.api().sendShortAt(in, 0x90, 0));
    EXPECT_EQ(driver.pending(), 0u);
}

} // namespace
