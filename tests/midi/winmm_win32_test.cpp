// The winmm back end as the machine offers it (under Wine here: no MIDI ports at all).
#include "graph/DSPInfo.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIDriver.h"
#include "midi/MIDIPortTable.h"
#include "midi/MidiApi.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;

TEST(Winmm, PortTableMirrorsTheSystemCounts) {
    setMidiApi(nullptr);
    clearMIDIPorts();
    MidiApi& api = midiApi();
    const uint32_t outs = api.outputCount();
    const uint32_t ins = api.inputCount();
    std::vector<int32_t> ids;
    listMIDIPorts(ids);
    ASSERT_EQ(ids.size(), size_t(outs) + ins);
    for (size_t i = 0; i < ids.size(); ++i) {
        auto info = findMIDIPort(ids[i]);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->outs, i < outs ? 1 : 0);
        EXPECT_FALSE(info->name.empty());
    }
    std::string name;
    EXPECT_NE(api.inputName(ins, name), 0u); // one past the last index
    EXPECT_NE(api.outputName(outs, name), 0u);

    if (ids.empty()) {
        // Nothing to open: a device on a port id the table lacks is inert and reads nothing.
        DSPInfo info(44100, 512);
        MIDIDevice device("MidiInput_0", 0, 1, 0, 0, "none");
        EXPECT_TRUE(device.init(nullptr, &info));
        ASSERT_NE(device.getDriver(), nullptr);
        EXPECT_FALSE(device.getDriver()->isOpen());
        device.start();
        MidiEventArray events;
        device.getBlockEvents(events);
        EXPECT_TRUE(events.empty());
        device.stop();
    }
    clearMIDIPorts();
}
