#include "devices/MIDIDeviceFactory.h"

#include "devices/DeviceManager.h"
#include "midi/MIDIDevice.h"
#include "midi/MIDIPortTable.h"

#include <mutex>

namespace vantor {

MIDIDeviceFactory::MIDIDeviceFactory() {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    DeviceManager* manager = DeviceManager::peek();
    if (!manager) return;
    for (int id : manager->midiPortIds())
        name(id, true);
}

void MIDIDeviceFactory::name(int portId, bool atConstruction) {
    DeviceManager* manager = DeviceManager::peek();
    const MidiDeviceEntry* entry = manager ? manager->midiRecord(portId) : nullptr;
    if (!entry || !entry->working) return;
    std::string generated;
    if (entry->interfaceName == "virtual")
        generated = "MidiVirtual_" + std::to_string(virtuals_++);
    else if (entry->kind == 0)
        generated = "MidiInput_" + std::to_string(inputs_++);
    else
        generated = (atConstruction ? "MIDIOuput_" : "MIDIOutput_") + std::to_string(outputs_++);
    devices_[generated] = Entry{entry->displayName, portId};
    if (!atConstruction && !Factory::peek()) added_.emplace_back(generated, entry->displayName);
}

void MIDIDeviceFactory::registerPort(int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    name(portId, false);
}

void MIDIDeviceFactory::removePort(int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (it->second.portId != portId) {
            ++it;
            continue;
        }
        if (!Factory::peek()) removed_.push_back(it->first);
        it = devices_.erase(it);
    }
}

std::vector<BaseFactory::NamePair> MIDIDeviceFactory::list() {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    std::vector<NamePair> out;
    out.reserve(devices_.size());
    for (const auto& [name, entry] : devices_)
        out.emplace_back(name, entry.displayName);
    return out;
}

Module* MIDIDeviceFactory::build(Instance* context, const std::string& generatedName, int portId) {
    DeviceManager* manager = DeviceManager::peek();
    const MidiDeviceEntry* entry = manager ? manager->midiRecord(portId) : nullptr;
    if (!entry || !entry->free) return nullptr;
    auto* device = new MIDIDevice(generatedName, portId, entry->hasInput, entry->hasOutput, entry->kind,
                                  entry->displayName);
    device->setContext(context);
    manager->storeMidiModule(portId, device);
    return device;
}

Module* MIDIDeviceFactory::create(Instance* context, const std::string& generatedName) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    auto it = devices_.find(generatedName);
    return it == devices_.end() ? nullptr : build(context, it->first, it->second.portId);
}

Module* MIDIDeviceFactory::createByDisplayName(Instance* context, const std::string& displayName) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    for (const auto& [name, entry] : devices_)
        if (entry.displayName == displayName) return build(context, name, entry.portId);
    return nullptr;
}

Module* MIDIDeviceFactory::createByPortId(Instance* context, int portId) {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    for (const auto& [name, entry] : devices_)
        if (entry.portId == portId) return build(context, name, entry.portId);
    return nullptr;
}

void MIDIDeviceFactory::listPortIds(std::vector<int>& ids, int kind) const {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    DeviceManager* manager = DeviceManager::peek();
    for (const auto& [name, entry] : devices_) {
        const MidiDeviceEntry* record = manager ? manager->midiRecord(entry.portId) : nullptr;
        if (!record) continue;
        if (kind == 2 || record->kind == kind) ids.push_back(entry.portId);
    }
}

void MIDIDeviceFactory::clear() {
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    devices_.clear();
}

} // namespace vantor
