// A keyboard in use is unplugged and plugged back while the host runs: the hot-plug pass disables
// it, enables it again when it returns, and it plays the instrument again. Notes played before the
// unplug and after the return reach the engine; nothing the port received while audio was stopped
// does.
#include "IntegrationHost.h"

#include "bridge/SMPLModule.h"
#include "devices/MIDIHotplug.h"
#include "engineapi/EngineOpcodes.h"
#include "graph/GraphManager.h"
#include "midi/MIDIDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using namespace vantor;

namespace {

constexpr uint32_t noteOn(uint8_t key) {
    return 0x640090u | (uint32_t{key} << 8);
}

class MidiHotplugIntegrationTest : public vantor::test::IntegrationHost {
protected:
    // The keys of every note-on the engine was handed over a few blocks.
    std::vector<int> notesOverBlocks(int blocks) {
        std::vector<int> keys;
        for (int i = 0; i < blocks; ++i) {
            EXPECT_TRUE(runBlock(0));
            SMPLModule* module = instrument();
            if (!module) return keys;
            const BrevianEventBlock& block = module->eventBlock();
            for (uint64_t e = 0; e < block.count; ++e)
                if ((block.events[e].status & 0xF0) == 0x90) keys.push_back(block.events[e].data1);
        }
        return keys;
    }

    void playNow(uint8_t key) { ASSERT_TRUE(midi_.api().sendShort(keyboardKey_, noteOn(key))); }

    std::string logText() const { return home_ ? home_->readLog() : std::string(); }
};

TEST_F(MidiHotplugIntegrationTest, AKeyboardThatIsUnpluggedAndReturnsPlaysAgainWithoutWhatWaited) {
    startHost(48000, 1024, false);
    if (HasFatalFailure()) return;
    const int32_t firstId = keyboardId_;

    playNow(60);
    EXPECT_EQ(notesOverBlocks(2), std::vector<int>{60}) << "before the unplug";

    // Unplugged: the pass tells the device manager, which takes the keyboard out of the graph.
    ASSERT_TRUE(midi_.api().removePort(keyboardKey_));
    rescanMIDIPorts(std::chrono::milliseconds(0));
    EXPECT_NE(logText().find("removed MIDI Device is used : Quorvel Keys"), std::string::npos);
    EXPECT_EQ(keyboard(), nullptr);
    EXPECT_TRUE(notesOverBlocks(1).empty());

    // Audio stops; the keyboard returns and plays into the host before audio starts again.
    ASSERT_EQ(call(VE_ENGINE_AUDIO_STOP), kEngineOk);
    keyboardKey_ = midi_.api().addInput("Quorvel Keys");
    rescanMIDIPorts(std::chrono::milliseconds(0));
    EXPECT_NE(logText().find("newly connected device is re-enabled : Quorvel Keys"), std::string::npos);

    int32_t count = 0;
    MidiDeviceRecord port{};
    ASSERT_EQ(call(VE_ENGINE_MIDIDEVICE_LIST, &port, &count, 1, kMidiInputs), kEngineOk);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(port.name, "Quorvel Keys(in)");
    EXPECT_GT(port.id, firstId) << "a returning port gets an id never used before";
    keyboardId_ = port.id;
    ASSERT_NE(keyboard(), nullptr) << "enabled again";
    ASSERT_TRUE(midi_.api().isOpen(keyboardKey_));
    EXPECT_FALSE(midi_.api().isStarted(keyboardKey_)) << "not started while audio is stopped";
    playNow(62); // while audio is stopped: never to be heard

    const uint64_t callbacks = quorvel::test::pa::callbackCount();
    ASSERT_EQ(call(VE_ENGINE_AUDIO_START), kEngineOk);
    ASSERT_TRUE(midi_.api().isStarted(keyboardKey_));
    // The stream's first block runs on the library's thread; the note must not land in it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (quorvel::test::pa::callbackCount() == callbacks && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(quorvel::test::pa::callbackCount(), callbacks) << "the stream's first block never ran";
    playNow(64);
    EXPECT_EQ(notesOverBlocks(2), std::vector<int>{64}) << "after the return, and nothing that waited";
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}

} // namespace
