// MIDIDevice: construction and init (with the priority-class guard), block parameters, start and
// stop, the device-manager hooks, and where getBlockEvents places live messages in a block.
#include "graph/DSPInfo.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"
#include "midi/ProcessPriority.h"
#include "support/AllocCounter.h"
#include "support/LogCapture.h"
#include "support/VirtualMidiScope.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace vantor;
using vantor::test::FakeMidiClock;
using vantor::test::LogCapture;
using vantor::test::VirtualMidiScope;

namespace {

struct HookLog {
    static inline std::vector<int32_t> acquired;
    static inline std::vector<std::pair<Instance*, int32_t>> released;
    static void onAcquired(int32_t port) { acquired.push_back(port); }
    static void onReleased(Instance* context, int32_t port) { released.emplace_back(context, port); }
};

struct Device : ::testing::Test {
    VirtualMidiScope midi;
    LogCapture log;
    int keys = 0;  // port id 1
    int synth = 0; // port id 0
    std::unique_ptr<DSPInfo> info;

    void SetUp() override {
        synth = midi.api().addOutput("Synth");
        keys = midi.api().addInput("Keys");
        std::vector<int32_t> ids;
        listMIDIPorts(ids);
        ASSERT_EQ(ids.size(), 2u);
        FakeMidiClock::set(1000);
        HookLog::acquired.clear();
        HookLog::released.clear();
    }
    void TearDown() override { MIDIDevice::setDeviceManagerHooks({}); }

    // An input device on "Keys", opened with the fake clock at the given stream.
    std::unique_ptr<MIDIDevice> openKeys(double rate, uint32_t block) {
        info = std::make_unique<DSPInfo>(rate, block);
        auto device = std::make_unique<MIDIDevice>("MidiInput_0", 1, 1, 0, 0, "Keys");
        device->setClock(&FakeMidiClock::now);
        EXPECT_TRUE(device->init(nullptr, info.get()));
        return device;
    }

    void send(uint32_t message, uint32_t msSinceStart) {
        ASSERT_TRUE(midi.api().sendShortAt(keys, message, msSinceStart));
    }

    static std::vector<int32_t> offsets(const MidiEventArray& events) {
        std::vector<int32_t> out;
        for (const auto& e : events)
            out.push_back(e.frameOffset);
        return out;
    }
};

TEST_F(Device, BlockParametersFollowTheStream) {
    struct Case {
        double rate;
        uint32_t block;
        int32_t maxEvents;
        bool reduceJitter;
    } cases[] = {
        {44100, 512, 64, false}, {44100, 4096, 96, true}, {44100, 530, 64, true},
        {44100, 529, 64, false}, {48000, 256, 64, false}, {44100, 32768, 774, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << "/" << c.block);
        auto device = openKeys(c.rate, c.block);
        EXPECT_EQ(device->getMaxEventsPerBlock(), c.maxEvents);
        EXPECT_EQ(device->getReduceJitter(), c.reduceJitter);
        EXPECT_GE(device->maxBlockEvents(), static_cast<size_t>(c.maxEvents));
    }
    EXPECT_TRUE(log.has('I', "MIDI Dev:1 init reduceJitter:0"));
    EXPECT_TRUE(log.has('I', "MIDI Dev:1 init reduceJitter:1"));

    auto device = openKeys(44100, 512);
    DSPInfo bigger(44100, 4096);
    device->setDSPInfo(&bigger);
    EXPECT_EQ(device->dspInfo(), &bigger);
    EXPECT_EQ(device->getMaxEventsPerBlock(), 96);
    EXPECT_TRUE(device->getReduceJitter());
    EXPECT_TRUE(log.has('I', "MIDI Dev:1 setDSPInfo reduceJitter:1"));
}

TEST_F(Device, ConstructionInitAndHooks) {
    MIDIDevice::setDeviceManagerHooks({&HookLog::onAcquired, &HookLog::onReleased});
    Instance* context = reinterpret_cast<Instance*>(0x1234);
    info = std::make_unique<DSPInfo>(44100, 512);
    {
        MIDIDevice device("MidiInput_3", 1, 1, 0, 0, "Keys");
        EXPECT_TRUE(log.has('I', "MIDIDevice:  id:1 ins:1 outs:0 name:Keys allocated!"));
        EXPECT_EQ(device.getPortId(), 1);
        EXPECT_EQ(device.getDirectionCode(), 0);
        EXPECT_TRUE(device.isMidiInput());
        EXPECT_EQ(device.getDriver(), nullptr);

        ASSERT_TRUE(device.init(context, info.get()));
        EXPECT_EQ(device.getContext(), context);
        EXPECT_EQ(device.dspInfo(), info.get());
        ASSERT_NE(device.getDriver(), nullptr);
        EXPECT_TRUE(midi.api().isOpen(keys));

        device.markAcquired();
        EXPECT_EQ(HookLog::acquired, (std::vector<int32_t>{1}));
        EXPECT_TRUE(log.has('I', "MIDIDevice: MidiInput_3 is acquired"));

        device.start();
        EXPECT_TRUE(log.has('I', "MIDIDevice::start()"));
        EXPECT_TRUE(midi.api().isStarted(keys));
        device.stop();
        EXPECT_TRUE(log.has('I', "MIDIDevice::stop()"));
        EXPECT_FALSE(midi.api().isStarted(keys));
        EXPECT_TRUE(HookLog::released.empty());
    }
    // Destroyed: the port is closed, then the device manager hears of it.
    EXPECT_FALSE(midi.api().isOpen(keys));
    ASSERT_EQ(HookLog::released.size(), 1u);
    EXPECT_EQ(HookLog::released[0].first, context);
    EXPECT_EQ(HookLog::released[0].second, 1);

    MIDIDevice output("MIDIOuput_0", 0, 0, 1, 1, "Synth");
    EXPECT_FALSE(output.isMidiInput());
}

TEST_F(Device, RefusedPortFailsInitAndLeavesNoDriver) {
    midi.api().setOpenResult(keys, midiresult::kAllocated);
    info = std::make_unique<DSPInfo>(44100, 512);
    MIDIDevice device("MidiInput_0", 1, 1, 0, 0, "Keys");
    EXPECT_FALSE(device.init(nullptr, info.get()));
    EXPECT_TRUE(log.has('E', "MIDIDevice::init()Cannot open MIDI input"));
    EXPECT_EQ(device.getDriver(), nullptr);
    // Still usable as an object: nothing happens.
    device.start();
    device.stop();
    MidiEventArray events;
    device.getBlockEvents(events);
    EXPECT_TRUE(events.empty());
}

TEST_F(Device, ASecondInitReopensThePortInsteadOfHoldingItTwice) {
    auto device = openKeys(44100, 512);
    EXPECT_TRUE(device->init(nullptr, info.get()));
    EXPECT_TRUE(midi.api().isOpen(keys));
    EXPECT_EQ(log.count("MIDIDevice::init()"), 0u);
}

// Priority-class doubles: each read hands out the next scripted value.
struct Priority {
    static inline std::vector<uint32_t> reads;
    static inline size_t next = 0;
    static inline std::vector<uint32_t> writes;
    static inline bool writeWorks = true;
    static bool read(uint32_t& value) {
        if (next >= reads.size()) return false;
        value = reads[next++];
        return true;
    }
    static bool write(uint32_t value) {
        writes.push_back(value);
        return writeWorks;
    }
    static void script(std::vector<uint32_t> values, bool works) {
        reads = std::move(values);
        next = 0;
        writes.clear();
        writeWorks = works;
    }
};

TEST_F(Device, PriorityClassRaisedByTheDriverIsPutBack) {
    static const ProcessPriorityOps ops{&Priority::read, &Priority::write};
    setProcessPriorityOps(&ops);
    info = std::make_unique<DSPInfo>(44100, 512);

    Priority::script({0x20, 0x20}, true); // unchanged: nothing said, nothing written
    {
        MIDIDevice device("MidiInput_0", 1, 1, 0, 0, "Keys");
        EXPECT_TRUE(device.init(nullptr, info.get()));
    }
    EXPECT_TRUE(Priority::writes.empty());
    EXPECT_EQ(log.count("Stupid MIDI driver"), 0u);

    Priority::script({0x20, 0x80}, true);
    {
        MIDIDevice device("MidiInput_0", 1, 1, 0, 0, "Keys");
        EXPECT_TRUE(device.init(nullptr, info.get()));
    }
    EXPECT_EQ(Priority::writes, (std::vector<uint32_t>{0x20}));
    EXPECT_TRUE(
        log.has('E', "Stupid MIDI driver has changed the WHOLE app priority!! Trying to fix this!!!"));
    EXPECT_TRUE(log.has('I', "Stupid MIDI driver FIXED!"));

    // Restoring can fail; an open failure is still reported after the guard has run.
    midi.api().setOpenResult(keys, midiresult::kNoDriver);
    Priority::script({0x20, 0x100}, false);
    {
        MIDIDevice device("MidiInput_0", 1, 1, 0, 0, "Keys");
        EXPECT_FALSE(device.init(nullptr, info.get()));
    }
    EXPECT_EQ(Priority::writes, (std::vector<uint32_t>{0x20}));
    EXPECT_TRUE(log.has('E', "Can't change prio back to what it was!!"));
    setProcessPriorityOps(nullptr);
}

TEST_F(Device, PackedModePlacesMessagesOneFrameApartInArrivalOrder) {
    auto device = openKeys(48000, 256);
    ASSERT_FALSE(device->getReduceJitter());
    device->start();
    const uint8_t notes[] = {60, 64, 67, 72, 48};
    for (uint8_t n : notes)
        send(0x640090u | (uint32_t(n) << 8), 3);
    MidiEventArray events;
    events.push_back(MidiEvent{}); // appends after what is there
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 6u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i + 1].frameOffset, static_cast<int32_t>(i));
        EXPECT_EQ(events[i + 1].data1, notes[i]);
        EXPECT_EQ(events[i + 1].status, 0x90);
        EXPECT_EQ(events[i + 1].data2, 0x64);
        EXPECT_EQ(events[i + 1].reserved, 0);
        EXPECT_EQ(events[i + 1].noteTag, 0.0f);
    }
}

TEST_F(Device, PackedModeClampsToTheLastFrameOfATinyBlock) {
    auto device = openKeys(48000, 16);
    device->start();
    for (int i = 0; i < 20; ++i)
        send(0x90, 0);
    MidiEventArray events;
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 20u);
    EXPECT_EQ(events[15].frameOffset, 15);
    EXPECT_EQ(events[19].frameOffset, 15);
}

TEST_F(Device, TimedModePlacesMessagesByArrivalInsideTheWindow) {
    auto device = openKeys(44100, 1024);
    ASSERT_TRUE(device->getReduceJitter());
    device->start(); // time base 1000 ms
    MidiEventArray events;
    FakeMidiClock::set(1200);
    device->getBlockEvents(events); // previous block end now 1200 ms
    ASSERT_TRUE(events.empty());

    FakeMidiClock::set(1300); // this window: 1200..1300 ms
    send(0x403C90, 100);      // arrived at 1100: before the window
    send(0x403E90, 250);      // 1250: half-way
    send(0x404090, 400);      // 1400: after "now"
    send(0x404190, 200);      // 1200: exactly at the window's start
    device->getBlockEvents(events);
    EXPECT_EQ(offsets(events), (std::vector<int32_t>{0, 512, 1023, 0}));
    // The third word is the low 32 bits of the arrival in ns.
    EXPECT_EQ(events[1].timeStamp, static_cast<uint32_t>(1250ULL * 1000000ULL));
}

TEST_F(Device, FirstBlockAfterStartMeasuresFromClockZero) {
    auto device = openKeys(44100, 1024);
    device->start();
    send(0x90, 0); // at the time base, 1000 ms: the window is 0..1000 ms
    MidiEventArray events;
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].frameOffset, 1023);

    // A restart measures from zero again.
    device->stop();
    FakeMidiClock::set(2000);
    device->start();
    send(0x90, 0);          // 2000 ms of a 2000 ms window... half-way is 1000 ms
    send(0x90, 0xFFFFFC18); // -1000 ms: the 32-bit sum lands on 1000 ms
    events.clear();
    device->getBlockEvents(events);
    EXPECT_EQ(offsets(events), (std::vector<int32_t>{1023, 512}));
}

TEST_F(Device, AZeroWindowPlacesAtTheStart) {
    auto device = openKeys(44100, 1024);
    device->start();
    MidiEventArray events;
    device->getBlockEvents(events); // previous end = now = 1000 ms
    send(0x90, 0);
    device->getBlockEvents(events); // same millisecond: empty window
    EXPECT_EQ(offsets(events), (std::vector<int32_t>{0}));
}

TEST_F(Device, MoreMessagesThanTheBlockTakesWaitForTheNextBlock) {
    auto device = openKeys(48000, 256);
    ASSERT_EQ(device->getMaxEventsPerBlock(), 64);
    device->start();
    for (int i = 0; i < 100; ++i)
        send(0x90 | (uint32_t(i) << 8), 0);
    MidiEventArray events;
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 64u);
    EXPECT_EQ(events[63].data1, 63);
    events.clear();
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 36u);
    EXPECT_EQ(events[0].data1, 64);
    EXPECT_EQ(events[0].frameOffset, 0);
    EXPECT_EQ(events[35].data1, 99);
    events.clear();
    device->getBlockEvents(events);
    EXPECT_TRUE(events.empty());
}

TEST_F(Device, OfflineBlocksDiscardLiveInput) {
    auto device = openKeys(48000, 256);
    device->start();
    send(0x90, 0);
    send(0x91, 0);
    info->setOffline(true);
    MidiEventArray events;
    device->getBlockEvents(events);
    EXPECT_TRUE(events.empty());
    send(0x92, 0); // arriving while offline
    device->getBlockEvents(events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(device->getDriver()->pending(), 0u);

    send(0x93, 0); // left from the offline stretch: discarded by the last offline block
    device->getBlockEvents(events);
    info->setOffline(false);
    send(0x94, 0);
    device->getBlockEvents(events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].status, 0x94);
}

TEST_F(Device, OutputPortsNeverRead) {
    info = std::make_unique<DSPInfo>(48000, 256);
    MIDIDevice output("MIDIOuput_0", 0, 0, 1, 1, "Synth");
    ASSERT_TRUE(output.init(nullptr, info.get()));
    output.start();
    MidiEventArray events;
    output.getBlockEvents(events);
    EXPECT_TRUE(events.empty());

    // Even an input port handed over as "not an input" is left alone.
    MIDIDevice odd("MidiInput_9", 1, 0, 0, 0, "Keys");
    ASSERT_TRUE(odd.init(nullptr, info.get()));
    odd.start();
    send(0x90, 0);
    odd.getBlockEvents(events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(odd.getDriver()->pending(), 1u);
}

TEST_F(Device, GettingBlockEventsAllocatesNothing) {
    auto device = openKeys(44100, 1024);
    device->start();
    MidiEventArray events;
    events.reserve(device->maxBlockEvents());
    uint64_t allocations = 0;
    for (uint32_t block = 0; block < 2000; ++block) {
        for (uint32_t k = 0; k < block % 5; ++k)
            send(0x90 | ((block & 0x7F) << 8), block);
        FakeMidiClock::advance(23);
        events.clear();
        quorvel::test::AllocCounter::arm();
        device->getBlockEvents(events);
        allocations += quorvel::test::AllocCounter::disarm();
        ASSERT_EQ(events.size(), block % 5);
    }
    info->setOffline(true);
    quorvel::test::AllocCounter::arm();
    device->getBlockEvents(events);
    allocations += quorvel::test::AllocCounter::disarm();
    EXPECT_EQ(allocations, 0u);
}

} // namespace
