#include "devices/AudioDeviceFactory.h"

#include "devices/AudioDevice.h"
#include "devices/DeviceManager.h"

namespace vantor {

AudioDeviceFactory::AudioDeviceFactory() {
    DeviceManager* manager = DeviceManager::peek();
    if (!manager) return;
    int counters[3] = {0, 0, 0};
    static const char* const prefixes[3] = {"AudioInput_", "AudioOutput_", "AudioDuplex_"};
    for (int i = 0; i < manager->audioDeviceCount(); ++i) {
        const AudioDeviceEntry* entry = manager->audioRecord(i);
        if (!entry || !entry->free || !entry->usable || !entry->listed) continue;
        if (entry->kind < 0 || entry->kind > 2) continue;
        const std::string name = prefixes[entry->kind] + std::to_string(counters[entry->kind]++);
        devices_[name] = Entry{entry->name, i};
    }
}

std::vector<BaseFactory::NamePair> AudioDeviceFactory::list() {
    std::vector<NamePair> out;
    out.reserve(devices_.size());
    for (const auto& [name, entry] : devices_)
        out.emplace_back(name, entry.displayName);
    return out;
}

AudioDevice* AudioDeviceFactory::build(Instance* context, const std::string& generatedName, int index) {
    DeviceManager* manager = DeviceManager::peek();
    if (!manager) return nullptr;
    const AudioDeviceEntry* entry = manager->audioRecord(index);
    if (!entry || !entry->free) return nullptr;
    if (!manager->canOpenAudio(context, index)) throw InstantiationException(kOneDeviceMessage);
    auto* device = new AudioDevice(generatedName, index, entry->inputs, entry->outputs, entry->kind);
    device->setContext(context);
    manager->storeAudioModule(index, device);
    return device;
}

Module* AudioDeviceFactory::create(Instance* context, const std::string& generatedName) {
    auto it = devices_.find(generatedName);
    return it == devices_.end() ? nullptr : build(context, it->first, it->second.index);
}

Module* AudioDeviceFactory::createByDisplayName(Instance* context, const std::string& displayName) {
    for (const auto& [name, entry] : devices_)
        if (entry.displayName == displayName) return build(context, name, entry.index);
    return nullptr;
}

AudioDevice* AudioDeviceFactory::createByIndex(Instance* context, int index) {
    for (const auto& [name, entry] : devices_)
        if (entry.index == index) return build(context, name, entry.index);
    return nullptr;
}

void AudioDeviceFactory::listDeviceIndices(std::vector<int>& indices) const {
    for (const auto& [name, entry] : devices_)
        indices.push_back(entry.index);
}

void AudioDeviceFactory::clear() {
    devices_.clear();
}

} // namespace vantor
