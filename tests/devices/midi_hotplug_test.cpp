// MIDI hot-plug passes over the virtual MIDI back end: the port table, the log and the device
// manager's lists after ports come and go.
#include "DeviceTestSupport.h"
#include "devices/MIDIHotplug.h"
#include "midi/MIDIPortTable.h"
#include "support/VirtualMidiScope.h"

#include <chrono>
#include <functional>
#include <map>

using namespace quorvel::test;
using vantor::DeviceManager;

namespace {

constexpr std::chrono::milliseconds kNoSettle{0};

struct Port {
    bool input;
    std::string name;
    bool queryFails = false; // from the start: listed as "Non working"
};

// The port table as "id name in|out@index"; ids from the pass's new ones read "+n" (the n-th id
// handed out by it).
std::vector<std::string> describeTable(int32_t firstNewId) {
    std::vector<std::string> rows;
    for (const vantor::MIDIPortInfo& info : vantor::snapshotMIDIPorts()) {
        const std::string id =
            info.id >= firstNewId ? "+" + std::to_string(info.id - firstNewId) : std::to_string(info.id);
        rows.push_back(id + " " + info.name + (info.ins ? " in@" : " out@") +
                       std::to_string(info.deviceIndex));
    }
    return rows;
}

std::vector<std::string> hotplugLines(const std::vector<std::string>& messages) {
    std::vector<std::string> out;
    for (const std::string& m : messages)
        if (m.find("MIDI Input(s)") != std::string::npos || m.find("MIDI Output(s)") != std::string::npos ||
            m.find(" removed") != std::string::npos || m.find(" added") != std::string::npos ||
            m.find("device index changed") != std::string::npos)
            out.push_back(m);
    return out;
}

class MidiHotplugTest : public DeviceTest {
protected:
    std::vector<std::string> deviceManagerNames() {
        std::vector<std::string> names;
        for (int id : DeviceManager::peek()->midiPortIds())
            names.push_back(DeviceManager::peek()->midiRecord(id)->displayName);
        return names;
    }
    vantor::test::VirtualMidiScope midi;
};

struct Case {
    const char* what;
    std::vector<Port> before; // present when the device manager starts
    std::function<void(vantor::VirtualMidiApi&, const std::vector<int>&)> change; // keys of before
    std::vector<std::string> lines;   // the pass's log lines, in order
    std::vector<std::string> table;   // the port table afterwards
    std::vector<std::string> devices; // the device manager's display names afterwards
};

TEST_F(MidiHotplugTest, PassesKeepTheTableAndTheDeviceListsCurrent) {
    const std::vector<Case> cases = {
        {"unplugging the first of two inputs",
         {{true, "Alpha"}, {true, "Beta"}},
         [](auto& api, const auto& keys) { api.removePort(keys[0]); },
         {"Removed MIDI Input(s)", "device index changed from 1 to 0 for Beta", "0 - Alpha removed"},
         {"1 Beta in@0"},
         {"Beta(in)"}},
        {"plugging a new input beside an existing one",
         {{true, "Alpha"}},
         [](auto& api, const auto&) { api.addInput("Beta"); },
         {"Added MIDI Input(s)", "1 - Beta added"},
         {"0 Alpha in@0", "+0 Beta in@1"},
         {"Alpha(in)", "Beta(in)"}},
        {"an unplug and a plug before one notification",
         {{true, "Alpha"}},
         [](auto& api, const auto& keys) {
             api.removePort(keys[0]);
             api.addInput("Gamma");
         },
         {},
         {"0 Alpha in@0"},
         {"Alpha(in)"}},
        {"a notification without a change",
         {{false, "Synth"}, {true, "Alpha"}},
         [](auto&, const auto&) {},
         {},
         {"0 Synth out@0", "1 Alpha in@0"},
         {"Synth(out)", "Alpha(in)"}},
        {"an output removed and an input added in one pass",
         {{false, "Synth"}, {true, "Alpha"}},
         [](auto& api, const auto& keys) {
             api.addInput("Beta");
             api.removePort(keys[0]);
         },
         {"Removed MIDI Output(s)", "0 - Synth removed", "Added MIDI Input(s)", "1 - Beta added"},
         {"1 Alpha in@0", "+0 Beta in@1"},
         {"Alpha(in)", "Beta(in)"}},
        {"a port plugged in front of an identical one",
         {{true, "Keys"}, {true, "Pads"}},
         [](auto& api, const auto& keys) {
             api.removePort(keys[1]);
             api.addInput("Keys");
             api.addInput("Pads");
         },
         {"Added MIDI Input(s)", "device index changed from 1 to 2 for Pads", "1 - Keys added"},
         {"0 Keys in@0", "1 Pads in@2", "+0 Keys in@1"},
         {"Keys(in)", "Pads(in)", "Keys_1(in)"}},
        {"an output plugged in later",
         {{false, "Synth"}},
         [](auto& api, const auto&) { api.addOutput("Synth"); },
         {"Added MIDI Output(s)", "1 - Synth added"},
         {"0 Synth out@0", "+0 Synth out@1"},
         {"Synth(out)", "Synth_1(out)"}},
        {"a port whose query fails when another goes: it cannot be matched, so it counts as gone",
         {{true, "Alpha"}, {true, "Beta", true}},
         [](auto& api, const auto& keys) { api.removePort(keys[0]); },
         {"Removed MIDI Input(s)", "0 - Alpha removed", "1 - Non working removed"},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vantor::test::VirtualMidiScope scope;
        std::vector<int> keys;
        for (const Port& p : c.before) {
            keys.push_back(p.input ? scope.api().addInput(p.name) : scope.api().addOutput(p.name));
            scope.api().setQueryFails(keys.back(), p.queryFails);
        }
        startDevices();
        const size_t logged = log.messages().size();
        c.change(scope.api(), keys);
        const int32_t firstNewId = vantor::midiPortNextId();
        vantor::rescanMIDIPorts(kNoSettle);

        const std::vector<std::string> messages = log.messages();
        EXPECT_EQ(hotplugLines({messages.begin() + static_cast<long>(logged), messages.end()}), c.lines);
        EXPECT_EQ(describeTable(firstNewId), c.table);
        EXPECT_EQ(deviceManagerNames(), c.devices);
        EXPECT_EQ(vantor::midiPortLastInputCount(), scope.api().inputCount());
        EXPECT_EQ(vantor::midiPortLastOutputCount(), scope.api().outputCount());
        if (c.lines.empty()) {
            EXPECT_EQ(messages.size(), logged); // silent
        }
        TearDown();
    }
}

// Two keyboards of one model: each gets an entry, unplugging one removes one, plugging it back
// adds one again under a fresh id; the device manager and the factory follow.
TEST_F(MidiHotplugTest, IdenticalKeyboardsAreMatchedOneToOne) {
    startDevices();
    const int32_t first = vantor::midiPortNextId();
    const int left = midi.api().addInput("Keys");
    midi.api().addInput("Keys");
    vantor::rescanMIDIPorts(kNoSettle);
    EXPECT_EQ(describeTable(first), (std::vector<std::string>{"+0 Keys in@0", "+1 Keys in@1"}));
    EXPECT_EQ(deviceManagerNames(), (std::vector<std::string>{"Keys(in)", "Keys_1(in)"}));
    EXPECT_TRUE(log.has('I', "0 - Keys added"));
    EXPECT_TRUE(log.has('I', "1 - Keys added"));

    midi.api().removePort(left);
    vantor::rescanMIDIPorts(kNoSettle);
    // The ports cannot be told apart: the one now at index 0 keeps the entry that was there.
    EXPECT_EQ(describeTable(first), (std::vector<std::string>{"+0 Keys in@0"}));
    EXPECT_TRUE(log.has('I', std::to_string(first + 1) + " - Keys removed"));
    EXPECT_EQ(deviceManagerNames(), (std::vector<std::string>{"Keys(in)"}));

    midi.api().addInput("Keys");
    vantor::rescanMIDIPorts(kNoSettle);
    EXPECT_EQ(describeTable(first), (std::vector<std::string>{"+0 Keys in@0", "+2 Keys in@1"}));
    EXPECT_EQ(deviceManagerNames(), (std::vector<std::string>{"Keys(in)", "Keys_1(in)"}));
    std::vector<int> inputs;
    vantor::MIDIDeviceFactory::get()->listPortIds(inputs, 0);
    EXPECT_EQ(inputs, (std::vector<int>{first, first + 2}));
    EXPECT_EQ(log.count("device index changed"), 0u);
}

// A port in use that is unplugged is disabled in the engine's graph and remembered; when it
// returns the device manager enables it again under its new id.
TEST_F(MidiHotplugTest, APortInUseIsToldToTheDeviceManagerBeforeItGoes) {
    midi.api().addInput("Alpha");
    const int beta = midi.api().addInput("Beta");
    DeviceManager& dm = startDevices();
    const int betaId = 1;
    dm.markMidiAcquired(betaId);
    midi.api().removePort(beta);
    vantor::rescanMIDIPorts(kNoSettle);
    EXPECT_TRUE(log.has('I', "removed MIDI Device is used : Beta"));
    ASSERT_EQ(dm.reconnectList().size(), 1u);
    EXPECT_EQ(dm.midiRecord(betaId), nullptr);
    EXPECT_FALSE(vantor::findMIDIPort(betaId).has_value());
}

} // namespace
