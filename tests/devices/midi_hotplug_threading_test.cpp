// An engine's thread lists and enables MIDI devices through the opcodes while the window thread
// plugs and unplugs ports and runs hot-plug passes: the lists stay consistent and nothing races.
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"
#include "support/VirtualMidiScope.h"
#include "support/pa_double/PaDouble.h"
#include "devices/DeviceManager.h"
#include "devices/MIDIHotplug.h"
#include "engineapi/EngineOpcodes.h"
#include "midi/MIDIPortTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pa = quorvel::test::pa;
using namespace vantor;

namespace {

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             int32_t i3 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, i3, 0.0f);
}

TEST(MidiHotplugThreadingTest, OpcodesListAndEnableWhilePortsComeAndGo) {
    pa::reset();
    auto home = std::make_unique<vantor::test::EngineTestHome>();
    vantor::test::VirtualMidiScope midi;
    pa::DeviceSpec speakers;
    speakers.name = "Speakers";
    speakers.hostApi = pa::addHostApi(paMME, "MME");
    speakers.outputs = 2;
    pa::addDevice(speakers);
    midi.api().addInput("Stays");
    midi.api().addOutput("Synth");
    char version[16] = {};
    ASSERT_EQ(call(VE_ENGINE_VERSION, version), kEngineOk);
    auto log = std::make_unique<vantor::test::LogCapture>();
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);

    std::atomic<bool> done{false};
    std::atomic<int> enabled{0};
    std::atomic<int> cycles{0};
    std::thread engine([&] {
        MidiDeviceRecord records[8];
        while (!done.load(std::memory_order_acquire)) {
            int32_t count = 0;
            if (call(VE_ENGINE_MIDIDEVICE_LIST, records, &count, 8, kMidiAll) != kEngineOk) continue;
            for (int32_t i = 0; i < count; ++i) {
                // A port may go between the list and the enable: a failure is an answer too.
                if (call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, records[i].id, 1, 1) == kEngineOk)
                    enabled.fetch_add(1, std::memory_order_relaxed);
                int32_t found = -1;
                call(VE_ENGINE_MIDIDEVICE_GET, &found, nullptr, records[i].id);
                call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, records[i].id, -1, 0);
            }
            cycles.fetch_add(1, std::memory_order_release);
        }
    });

    // The window thread's part: ports plugged and unplugged, one pass after each change.
    constexpr int kRounds = 200;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int round = 0; round < kRounds; ++round) {
        // Every round overlaps at least one cycle of the engine's thread.
        const int seen = cycles.load(std::memory_order_acquire);
        const int keys = midi.api().addInput("Keys");
        const int pads = midi.api().addOutput("Pads");
        rescanMIDIPorts(std::chrono::milliseconds(0));
        midi.api().removePort(round % 2 ? keys : pads);
        rescanMIDIPorts(std::chrono::milliseconds(0));
        midi.api().removePort(round % 2 ? pads : keys);
        rescanMIDIPorts(std::chrono::milliseconds(0));
        while (cycles.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    // Let the engine's thread see the final lists at least once.
    const int before = enabled.load();
    while (enabled.load() < before + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    done.store(true, std::memory_order_release);
    engine.join();
    EXPECT_GE(enabled.load(), before + 2) << "the two ports that stay were never enabled at the end";

    // Both lists agree: the two ports that stayed, under their first ids.
    std::vector<int32_t> table;
    listMIDIPorts(table);
    EXPECT_EQ(table, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(DeviceManager::peek()->midiPortIds(), (std::vector<int>{0, 1}));
    int32_t count = 0;
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiAll), kEngineOk);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(log->count("Added MIDI Input(s)"), static_cast<size_t>(kRounds));
    EXPECT_EQ(log->count("Removed MIDI Output(s)"), static_cast<size_t>(kRounds));
    ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
    log.reset();
    home.reset();
    pa::reset();
}

// A pass and an engine's thread on one port while audio runs, each paused where the two used to
// interleave (for a bounded time): the pass never starts a device the engine's disable deletes, and
// a device enabled while its port goes is not left in the graph under a gone id, its value lost.
TEST(MidiHotplugThreadingTest, APassAndAnEngineThreadOnOnePortDoNotInterleave) {
    pa::reset();
    vantor::test::VirtualMidiScope midi;
    vantor::test::EngineTestHome home; // shuts the engine down first
    pa::addDevice(pa::DeviceSpec{"Speakers", pa::addHostApi(paMME, "MME")});
    pa::setCallbacks(pa::Callbacks::Running);
    int keys = midi.api().addInput("Keys"), id = 0; // the table's only port
    ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIODEVICE_SET), kEngineOk);
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    auto waitUntil = [](auto done, int ms) {
        for (int i = 0; i < ms && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    auto plug = [&](bool in) {
        if (!in) midi.api().removePort(keys);
        if (in) id = midiPortNextId();
        if (in) keys = midi.api().addInput("Keys");
        rescanMIDIPorts(std::chrono::milliseconds(0));
    };
    auto used = [](std::vector<UsedMidiDevice> devices = {}) {
        call(VE_ENGINE_MIDIDEVICE_GETUSED, &devices, nullptr, kMidiAll);
        return devices;
    };
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, id, 1, 5), kEngineOk);
    plug(false);
    std::thread engine;
    midi.api().setStartHook([&](int) { // the returning port's device is being started
        if (engine.joinable()) return;
        engine = std::thread([&] { call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, id, -1); });
        waitUntil([&] { return !midi.api().isOpen(keys); }, 500);
    });
    plug(true);
    midi.api().setStartHook({});
    engine.join();
    EXPECT_TRUE(used().empty()) << "the engine's disable is the last word";
    std::atomic<bool> paused{false}, passed{false};
    DeviceManager::setMidiEnableHook([&](int) { // opened, not yet in the graph
        paused = true;
        waitUntil([&] { return passed.load(); }, 500);
    });
    engine = std::thread([&] { call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, id, 1, 7); });
    waitUntil([&] { return paused.load(); }, 20000);
    plug(false);
    passed = true;
    engine.join();
    DeviceManager::setMidiEnableHook({});
    EXPECT_TRUE(used().empty()) << "a device under the id of a port that is gone";
    plug(true);
    ASSERT_EQ(used().size(), 1u);
    EXPECT_EQ(used()[0].value, 7) << "back without the engine's value";
}

} // namespace
