// Makes AudioDevice modules and names the machine's usable output devices: "AudioOutput_",
// "AudioDuplex_" (and, in principle, "AudioInput_") followed by a running number per kind, in
// device-index order. Carries the rule that a context has at most one audio device.
#pragma once

#include "graph/Factory.h"

#include <map>
#include <string>
#include <vector>

namespace vantor {

class AudioDevice;

class AudioDeviceFactory : public BaseFactory {
public:
    static constexpr const char* kOneDeviceMessage = "Only one audio device at the same time";

    // Names every free, usable and listed device of the device manager's table.
    AudioDeviceFactory();

    std::vector<NamePair> list() override;
    Module* create(Instance* context, const std::string& generatedName) override;
    Module* createByDisplayName(Instance* context, const std::string& displayName) override;
    AudioDevice* createByIndex(Instance* context, int index);
    // Device index of every entry, in name order.
    void listDeviceIndices(std::vector<int>& indices) const;
    void clear() override;

private:
    struct Entry {
        std::string displayName;
        int index;
    };
    AudioDevice* build(Instance* context, const std::string& generatedName, int index);

    std::map<std::string, Entry> devices_;
};

} // namespace vantor
