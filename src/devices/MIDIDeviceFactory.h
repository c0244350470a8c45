// Makes MIDIDevice modules and names the working MIDI ports: "MidiInput_" for inputs, "MIDIOuput_"
// for outputs named when the factory is built and "MIDIOutput_" for outputs that arrive later,
// "MidiVirtual_" for ports whose interface is "virtual". The counters start at 0 when the factory
// is built and are never reset while it lives, so a port that comes back gets a new number.
//
// While the Factory registry does not exist, names added and removed are also kept in two lists
// so the registry can catch up.
//
// Every operation holds midiPortsLock(): a hot-plug pass on the window thread changes the map
// while the opcodes read it.
#pragma once

#include "util/Singleton.h"
#include "graph/Factory.h"

#include <map>
#include <string>
#include <vector>

namespace vantor {

class MIDIDeviceFactory : public BaseFactory, public Singleton<MIDIDeviceFactory> {
public:
    // Names every working record of the device manager's MIDI table, in port-id order.
    MIDIDeviceFactory();

    // A port that arrived: named if working.
    void registerPort(int portId);
    // A port that went: every entry of it goes.
    void removePort(int portId);

    std::vector<NamePair> list() override;
    Module* create(Instance* context, const std::string& generatedName) override;
    Module* createByDisplayName(Instance* context, const std::string& displayName) override;
    Module* createByPortId(Instance* context, int portId);
    // kind 0: inputs, 1: outputs, 2: all; in name order. Appends.
    void listPortIds(std::vector<int>& ids, int kind) const;
    void clear() override;

    const std::vector<NamePair>& addedWithoutRegistry() const { return added_; }
    const std::vector<std::string>& removedWithoutRegistry() const { return removed_; }

private:
    struct Entry {
        std::string displayName;
        int portId;
    };
    void name(int portId, bool atConstruction);
    Module* build(Instance* context, const std::string& generatedName, int portId);

    std::map<std::string, Entry> devices_;
    int inputs_ = 0;
    int outputs_ = 0;
    int virtuals_ = 0;
    std::vector<NamePair> added_;
    std::vector<std::string> removed_;
};

} // namespace vantor
