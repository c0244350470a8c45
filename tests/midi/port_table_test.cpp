// The MIDI port table over the virtual back end: id assignment, "Non working" ports, laziness,
// clearing and the never-reset id counter.
#include "midi/MIDIDriver.h"
#include "midi/MIDIPortTable.h"
#include "support/VirtualMidiScope.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace vantor;
using vantor::test::VirtualMidiScope;

namespace {

std::vector<int32_t> ids() {
    std::vector<int32_t> out{99}; // listMIDIPorts replaces what was there
    listMIDIPorts(out);
    return out;
}

struct PortTable : ::testing::Test {
    VirtualMidiScope midi;
    // Two outputs and three inputs, added interleaved so that order of creation does not matter.
    void addFive() {
        midi.api().addInput("In A");
        midi.api().addOutput("Out A");
        midi.api().addInput("In B");
        midi.api().addOutput("Out B");
        midi.api().addInput("In C");
    }
};

TEST_F(PortTable, OutputsComeFirstThenInputsWithConsecutiveIds) {
    addFive();
    const int32_t before = midiPortNextId();
    ASSERT_EQ(ids(), (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(midiPortNextId(), before + 5);
    EXPECT_EQ(midiPortLastOutputCount(), 2u);
    EXPECT_EQ(midiPortLastInputCount(), 3u);

    const char* names[] = {"Out A", "Out B", "In A", "In B", "In C"};
    const uint32_t indexes[] = {0, 1, 0, 1, 2};
    for (int32_t id = 0; id < 5; ++id) {
        SCOPED_TRACE(id);
        auto info = findMIDIPort(id);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->id, id);
        EXPECT_EQ(info->api, "Windows");
        EXPECT_EQ(info->name, names[id]);
        EXPECT_EQ(info->deviceIndex, indexes[id]);
        EXPECT_EQ(info->ins, id >= 2 ? 1 : 0);
        EXPECT_EQ(info->outs, id >= 2 ? 0 : 1);
        EXPECT_TRUE(info->working);
    }
    EXPECT_FALSE(findMIDIPort(5).has_value());
    EXPECT_FALSE(findMIDIPort(-1).has_value());
}

TEST_F(PortTable, ClearRestartsIdsButTheCounterKeepsCounting) {
    addFive();
    ASSERT_EQ(ids().size(), 5u);
    const int32_t afterFirst = midiPortNextId();

    clearMIDIPorts();
    EXPECT_TRUE(midiPortsNeedEnumeration());
    EXPECT_FALSE(peekMIDIPort(0).has_value()); // peeking never enumerates

    EXPECT_EQ(ids(), (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(midiPortsNeedEnumeration());
    EXPECT_EQ(midiPortNextId(), afterFirst + 5);
    EXPECT_EQ(findMIDIPort(0)->name, "Out A");
}

TEST_F(PortTable, EnumeratesOnceUntilCleared) {
    midi.api().addInput("First");
    ASSERT_EQ(ids(), (std::vector<int32_t>{0}));
    // A port that appears later is not seen until the table is rebuilt.
    midi.api().addOutput("Late");
    EXPECT_EQ(ids(), (std::vector<int32_t>{0}));
    EXPECT_EQ(findMIDIPort(0)->name, "First");
    clearMIDIPorts();
    EXPECT_EQ(ids(), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(findMIDIPort(0)->name, "Late");
    EXPECT_EQ(findMIDIPort(1)->name, "First");
}

TEST_F(PortTable, EmptyBackEndGivesAnEmptyTable) {
    EXPECT_TRUE(ids().empty());
    EXPECT_EQ(midiPortLastInputCount(), 0u);
    EXPECT_EQ(midiPortLastOutputCount(), 0u);
}

TEST_F(PortTable, FailedCapabilityQueryKeepsThePortAsNonWorking) {
    const int broken = midi.api().addInput("Broken");
    midi.api().addInput("Fine");
    midi.api().setQueryFails(broken, true);
    midi.api().setOpenResult(broken, midiresult::kNoDriver);

    ASSERT_EQ(ids(), (std::vector<int32_t>{0, 1}));
    auto info = findMIDIPort(0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Non working");
    EXPECT_FALSE(info->working);
    EXPECT_EQ(info->ins, 1);
    EXPECT_TRUE(findMIDIPort(1)->working);

    // It can still be asked to open; the back end refuses.
    try {
        MIDIDriver driver(0);
        FAIL() << "opening a refused port must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot open MIDI input");
    }
}

} // namespace
