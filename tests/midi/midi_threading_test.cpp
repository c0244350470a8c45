// The receive ring under a producer thread feeding it (as the MIDI callback thread does) while
// the consumer drains it: nothing lost while it has room, nothing duplicated or torn ever.
#include "graph/DSPInfo.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIDriver.h"
#include "midi/MIDIPortTable.h"
#include "support/VirtualMidiScope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace vantor;
using vantor::test::FakeMidiClock;
using vantor::test::VirtualMidiScope;

namespace {

// A sequence number in the status channel nibble and both data bytes (18 bits), and again in the
// arrival time, so a torn entry shows.
uint32_t encode(uint32_t seq) {
    return 0x80u | ((seq >> 14) & 0x0F) | ((seq & 0x7F) << 8) | (((seq >> 7) & 0x7F) << 16);
}
uint32_t decode(const MidiInputEvent& e) {
    return (static_cast<uint32_t>(e.status & 0x0F) << 14) | (static_cast<uint32_t>(e.data2) << 7) | e.data1;
}

struct Ring : ::testing::Test {
    VirtualMidiScope midi;
    int key = 0;
    void SetUp() override {
        key = midi.api().addInput("Hammer");
        std::vector<int32_t> ids;
        listMIDIPorts(ids);
        FakeMidiClock::set(0);
    }
};

TEST_F(Ring, ThrottledProducerLosesAndDuplicatesNothing) {
    constexpr uint32_t kCount = 200000;
    MIDIDriver driver(0, &FakeMidiClock::now);
    driver.start(nullptr);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint32_t seq = 0; seq < kCount; ++seq) {
            while (driver.pending() > MIDIDriver::kQueueSize - 8)
                std::this_thread::yield();
            midi.api().sendShortAt(key, encode(seq & 0x3FFFF), seq);
        }
        done.store(true, std::memory_order_release);
    });
    uint32_t expected = 0;
    bool ordered = true;
    MidiInputEvent e;
    while (expected < kCount) {
        if (!driver.readEvent(e)) {
            if (done.load(std::memory_order_acquire) && driver.pending() == 0) break;
            std::this_thread::yield();
            continue;
        }
        if (decode(e) != (expected & 0x3FFFF) || e.time != uint64_t(expected) * 1000000ULL) ordered = false;
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(expected, kCount);
    EXPECT_EQ(driver.droppedCount(), 0u);
    EXPECT_FALSE(driver.readEvent(e));
}

TEST_F(Ring, RestartsFromAnotherThreadOnlyEverSkipForward) {
    // The opcode thread starts a running port again (a re-plugged port when audio starts) while
    // the callback feeds it and the audio thread reads: the cut may drop entries, but what is
    // read stays whole and in order, and nothing comes twice.
    constexpr uint32_t kCount = 200000;
    MIDIDriver driver(0, &FakeMidiClock::now);
    driver.start(nullptr);
    std::atomic<bool> done{false};
    std::atomic<uint32_t> restarts{0};
    std::thread producer([&] {
        for (uint32_t seq = 0; seq < kCount; ++seq) {
            while (driver.pending() > MIDIDriver::kQueueSize - 8)
                std::this_thread::yield();
            midi.api().sendShortAt(key, encode(seq & 0x3FFFF), seq);
        }
        // On a loaded machine the restarting thread may not have run yet: production ends only
        // after it has restarted at least once, so there is always a restart to check.
        while (restarts.load() == 0)
            std::this_thread::yield();
        done.store(true, std::memory_order_release);
    });
    std::thread opcode([&] {
        while (!done.load(std::memory_order_acquire)) {
            driver.start(nullptr);
            restarts.fetch_add(1);
            std::this_thread::yield();
        }
    });
    uint64_t received = 0;
    int64_t last = -1;
    bool increasing = true;
    bool intact = true;
    MidiInputEvent e;
    for (;;) {
        if (!driver.readEvent(e)) {
            if (done.load(std::memory_order_acquire) && driver.pending() == 0) break;
            std::this_thread::yield();
            continue;
        }
        const uint32_t time = static_cast<uint32_t>(e.time / 1000000ULL);
        if (decode(e) != (time & 0x3FFFF)) intact = false;
        if (static_cast<int64_t>(time) <= last) increasing = false;
        last = time;
        ++received;
    }
    producer.join();
    opcode.join();
    EXPECT_TRUE(intact);
    EXPECT_TRUE(increasing);
    EXPECT_GT(restarts.load(), 0u);
    // Skipped slots stay taken until the reader passes the cut, so a full ring may drop meanwhile.
    EXPECT_LE(received + driver.droppedCount(), kCount);
}

TEST_F(Ring, FloodingProducerOnlyEverDropsTheNewest) {
    constexpr uint32_t kCount = 200000;
    MIDIDriver driver(0, &FakeMidiClock::now);
    driver.start(nullptr);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint32_t seq = 0; seq < kCount; ++seq)
            midi.api().sendShortAt(key, encode(seq & 0x3FFFF), seq);
        done.store(true, std::memory_order_release);
    });
    uint64_t received = 0;
    int64_t last = -1;
    bool increasing = true;
    bool intact = true;
    uint32_t flushes = 0;
    MidiInputEvent e;
    for (;;) {
        if (!driver.readEvent(e)) {
            if (done.load(std::memory_order_acquire)) break;
            std::this_thread::yield();
            continue;
        }
        const uint32_t time = static_cast<uint32_t>(e.time / 1000000ULL);
        if (decode(e) != (time & 0x3FFFF)) intact = false;
        if (static_cast<int64_t>(time) <= last) increasing = false;
        last = time;
        ++received;
        // Now and then the consumer discards what waits, as offline blocks do.
        if (received % 5000 == 0) {
            driver.flush();
            ++flushes;
        }
    }
    producer.join();
    while (driver.readEvent(e)) {
        const uint32_t time = static_cast<uint32_t>(e.time / 1000000ULL);
        if (static_cast<int64_t>(time) <= last) increasing = false;
        last = time;
        ++received;
    }
    EXPECT_TRUE(intact);
    EXPECT_TRUE(increasing);
    EXPECT_LE(received + driver.droppedCount(), kCount);
    if (flushes == 0) {
        EXPECT_EQ(received + driver.droppedCount(), kCount);
    }
}

TEST_F(Ring, DeviceDrainsBlocksWhileTheProducerFeeds) {
    constexpr uint32_t kCount = 50000;
    DSPInfo info(48000, 256);
    MIDIDevice device("MidiInput_0", 0, 1, 0, 0, "Hammer");
    device.setClock(&FakeMidiClock::now);
    ASSERT_TRUE(device.init(nullptr, &info));
    device.start();
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint32_t seq = 0; seq < kCount; ++seq) {
            while (device.getDriver()->pending() > MIDIDriver::kQueueSize - 8)
                std::this_thread::yield();
            midi.api().sendShortAt(key, encode(seq), seq);
        }
        done.store(true, std::memory_order_release);
    });
    MidiEventArray events;
    events.reserve(device.maxBlockEvents());
    uint32_t expected = 0;
    bool ordered = true;
    for (;;) {
        const bool finished = done.load(std::memory_order_acquire);
        events.clear();
        device.getBlockEvents(events);
        for (const MidiEvent& ev : events) {
            MidiInputEvent e{ev.status, ev.data1, ev.data2, 0};
            if (decode(e) != expected) ordered = false;
            ++expected;
        }
        if (finished && events.empty()) break;
    }
    producer.join();
    device.stop();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(expected, kCount);
}

} // namespace
