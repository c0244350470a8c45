// MIDI side of the device manager and the MIDI device factory, over the virtual MIDI back end.
#include "DeviceTestSupport.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"
#include "support/VirtualMidiScope.h"

using namespace quorvel::test;
using vantor::DeviceManager;
using vantor::MIDIDeviceFactory;

namespace {

class MidiDevicesTest : public DeviceTest {
protected:
    std::vector<std::string> factoryNames() {
        std::vector<std::string> names;
        for (const auto& [name, display] : MIDIDeviceFactory::get()->list())
            names.push_back(name + "=" + display);
        return names;
    }
    vantor::test::VirtualMidiScope midi;
};

TEST_F(MidiDevicesTest, SameNamedPortsGetUniqueNamesPerDirection) {
    midi.api().addInput("Keys");
    midi.api().addInput("Keys");
    midi.api().addOutput("Keys");
    const int broken = midi.api().addInput("Pads");
    midi.api().setQueryFails(broken, true);
    DeviceManager& dm = startDevices();

    const std::vector<int> ids = dm.midiPortIds();
    ASSERT_EQ(ids.size(), 4u); // output first, then the inputs
    EXPECT_EQ(dm.midiRecord(ids[0])->displayName, "Keys(out)");
    EXPECT_EQ(dm.midiRecord(ids[0])->kind, 1);
    EXPECT_EQ(dm.midiRecord(ids[1])->displayName, "Keys(in)");
    EXPECT_EQ(dm.midiRecord(ids[2])->uniqueName, "Keys_1");
    EXPECT_EQ(dm.midiRecord(ids[2])->displayName, "Keys_1(in)");
    EXPECT_EQ(dm.midiRecord(ids[2])->kind, 0);
    EXPECT_FALSE(dm.midiRecord(ids[3])->working);

    EXPECT_TRUE(log.has('I', "MIDI_0 interf:*Windows* Keys(out)"));
    EXPECT_TRUE(log.has('I', "MIDI_2 interf:*Windows* Keys_1(in)"));
    // The port whose query failed is listed but never named.
    EXPECT_EQ(factoryNames(), (std::vector<std::string>{"MIDIOuput_0=Keys(out)", "MidiInput_0=Keys(in)",
                                                        "MidiInput_1=Keys_1(in)"}));
    std::vector<int> inputs, outputs, all;
    MIDIDeviceFactory::get()->listPortIds(inputs, 0);
    MIDIDeviceFactory::get()->listPortIds(outputs, 1);
    MIDIDeviceFactory::get()->listPortIds(all, 2);
    EXPECT_EQ(inputs, (std::vector<int>{ids[1], ids[2]}));
    EXPECT_EQ(outputs, (std::vector<int>{ids[0]}));
    EXPECT_EQ(all, (std::vector<int>{ids[0], ids[1], ids[2]}));
}

TEST_F(MidiDevicesTest, PortsThatComeAndGoKeepCountingAndFreeTheirNames) {
    midi.api().addInput("Keys");
    midi.api().addOutput("Synth");
    DeviceManager& dm = startDevices();
    const std::vector<int> ids = dm.midiPortIds();
    ASSERT_EQ(ids.size(), 2u);
    const int synth = ids[0], keys = ids[1];

    dm.midiPortRemoved(synth);
    dm.midiPortRemoved(keys);
    EXPECT_EQ(dm.midiRecord(keys), nullptr);
    EXPECT_TRUE(factoryNames().empty());
    EXPECT_TRUE(dm.reconnectList().empty()); // neither was in use

    dm.midiPortArrived(synth);
    dm.midiPortArrived(keys);
    // Later outputs are spelt correctly; numbers are never reused; the unique names were freed.
    EXPECT_EQ(factoryNames(), (std::vector<std::string>{"MIDIOutput_1=Synth(out)", "MidiInput_1=Keys(in)"}));
    EXPECT_EQ(dm.midiRecord(keys)->uniqueName, "Keys");
}

TEST_F(MidiDevicesTest, DevicesAreMadeOnlyForFreePorts) {
    midi.api().addInput("Keys");
    DeviceManager& dm = startDevices();
    const int keys = dm.midiPortIds().at(0);
    std::unique_ptr<vantor::Module> device(MIDIDeviceFactory::get()->createByPortId(&context, keys));
    auto* midiDevice = dynamic_cast<vantor::MIDIDevice*>(device.get());
    ASSERT_NE(midiDevice, nullptr);
    EXPECT_EQ(midiDevice->getDisplayName(), "Keys(in)");
    EXPECT_EQ(midiDevice->getFactoryName(), "MidiInput_0");
    ASSERT_TRUE(midiDevice->init(&context, context.getDSPInfo()));
    midiDevice->markAcquired();
    EXPECT_FALSE(dm.midiRecord(keys)->free);
    EXPECT_EQ(MIDIDeviceFactory::get()->create(&context, "MidiInput_0"), nullptr);
    EXPECT_EQ(MIDIDeviceFactory::get()->createByDisplayName(&context, "Keys(in)"), nullptr);
    device.reset();
    EXPECT_TRUE(dm.midiRecord(keys)->free);
    EXPECT_TRUE(log.has('I', "DeviceManager : Keys was deallocated"));
    device.reset(MIDIDeviceFactory::get()->createByDisplayName(&context, "Keys(in)"));
    EXPECT_NE(device, nullptr);
    EXPECT_EQ(MIDIDeviceFactory::get()->create(&context, "MidiInput_9"), nullptr);
}

} // namespace
