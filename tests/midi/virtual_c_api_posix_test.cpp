// The native platform back end is the process-wide virtual one, and the C functions a Linux
// program uses to create and play into ports reach the same ports the host enumerates.
#include "graph/DSPInfo.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"
#include "midi/VirtualMidi.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;

TEST(VirtualCApi, PortsMadeThroughCAreEnumeratedOpenedAndFed) {
    setMidiApi(nullptr);
    virtualMidi().removeAll();
    clearMIDIPorts();

    const int keys = quorvel_virtual_midi_add_input("C Keys");
    const int synth = quorvel_virtual_midi_add_output("C Synth");
    ASSERT_GT(keys, 0);
    ASSERT_GT(synth, 0);
    EXPECT_NE(keys, synth);
    EXPECT_EQ(quorvel_virtual_midi_add_input(nullptr) > 0, true); // unnamed port

    std::vector<int32_t> ids;
    listMIDIPorts(ids);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(findMIDIPort(0)->name, "C Synth");
    EXPECT_EQ(findMIDIPort(1)->name, "C Keys");
    EXPECT_EQ(findMIDIPort(2)->name, "");

    EXPECT_EQ(quorvel_virtual_midi_send_short(keys, 0x7F3C90), 0); // not open yet
    {
        DSPInfo info(48000, 256);
        MIDIDevice device("MidiInput_0", 1, 1, 0, 0, "C Keys");
        ASSERT_TRUE(device.init(nullptr, &info));
        device.start();
        EXPECT_EQ(quorvel_virtual_midi_send_short(keys, 0x7F3C90), 1);
        const uint8_t sysex[] = {0xF0, 0x43, 0xF7};
        EXPECT_EQ(quorvel_virtual_midi_send_sysex(keys, sysex, sizeof(sysex)), 1);
        EXPECT_EQ(quorvel_virtual_midi_send_short(synth, 0x7F3C90), 0); // outputs take nothing
        MidiEventArray events;
        device.getBlockEvents(events);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].status, 0x90);
        EXPECT_EQ(events[0].data1, 0x3C);
        device.stop();
    }
    EXPECT_EQ(quorvel_virtual_midi_remove(keys), 1);
    EXPECT_EQ(quorvel_virtual_midi_remove(keys), 0);
    EXPECT_EQ(quorvel_virtual_midi_send_short(keys, 0x90), 0);
    virtualMidi().removeAll();
    clearMIDIPorts();
}
