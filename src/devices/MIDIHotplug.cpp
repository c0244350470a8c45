#include "devices/MIDIHotplug.h"

#include "devices/DeviceManager.h"
#include "log/Log.h"
#include "midi/MIDIPortTable.h"
#include "midi/MidiApi.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vantor {

namespace {

struct Present {
    uint32_t deviceIndex;
    std::string name;
};

struct Direction {
    bool input;
    const char* removedLine;
    const char* addedLine;
};

// The ports of one direction whose capabilities query succeeds now; a port that cannot be named
// cannot be matched.
std::vector<Present> presentPorts(MidiApi& api, bool input, uint32_t count) {
    std::vector<Present> ports;
    for (uint32_t j = 0; j < count; ++j) {
        std::string name;
        const uint32_t r = input ? api.inputName(j, name) : api.outputName(j, name);
        if (r == midiresult::kOk) ports.push_back(Present{j, std::move(name)});
    }
    return ports;
}

struct Matching {
    std::vector<int32_t> unmatchedEntries; // ascending id
    std::vector<Present> unmatchedPorts;   // ascending device index
};

// One-to-one by name: each present port, lowest device index first, takes the unmatched entry of
// its name with the lowest device index (then id). Matched entries are re-pointed. Lock held.
Matching matchAndRepoint(bool input, const std::vector<Present>& ports) {
    std::vector<MIDIPortInfo> entries;
    for (MIDIPortInfo& info : snapshotMIDIPorts())
        if ((input ? info.ins : info.outs) == 1) entries.push_back(std::move(info));
    std::stable_sort(entries.begin(), entries.end(), [](const MIDIPortInfo& a, const MIDIPortInfo& b) {
        return a.deviceIndex != b.deviceIndex ? a.deviceIndex < b.deviceIndex : a.id < b.id;
    });
    std::vector<bool> taken(entries.size(), false);
    Matching result;
    for (const Present& port : ports) {
        bool matched = false;
        for (size_t e = 0; e < entries.size() && !matched; ++e) {
            if (taken[e] || entries[e].name != port.name) continue;
            taken[e] = matched = true;
            if (entries[e].deviceIndex != port.deviceIndex) {
                logInfo("device index changed from ", entries[e].deviceIndex, " to ", port.deviceIndex,
                        " for ", port.name);
                setMIDIPortDeviceIndex(entries[e].id, port.deviceIndex);
            }
        }
        if (!matched) result.unmatchedPorts.push_back(port);
    }
    for (size_t e = 0; e < entries.size(); ++e)
        if (!taken[e]) result.unmatchedEntries.push_back(entries[e].id);
    std::sort(result.unmatchedEntries.begin(), result.unmatchedEntries.end());
    return result;
}

DeviceManager* listingDeviceManager() {
    DeviceManager* devices = DeviceManager::peek();
    return devices && devices->midiEnumerated() ? devices : nullptr;
}

void removePorts(MidiApi& api, const Direction& d, uint32_t count) {
    logInfo(d.removedLine);
    const std::vector<Present> ports = presentPorts(api, d.input, count);
    std::vector<std::pair<int32_t, std::string>> gone;
    {
        std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
        for (int32_t id : matchAndRepoint(d.input, ports).unmatchedEntries)
            if (std::optional<MIDIPortInfo> info = peekMIDIPort(id)) gone.emplace_back(id, info->name);
    }
    for (const auto& [id, name] : gone) {
        logInfo(id, " - ", name, " removed");
        // The device manager hears of it before the entry goes (and deletes it with its own record).
        if (DeviceManager* devices = listingDeviceManager())
            devices->midiPortRemoved(id, true);
        else
            eraseMIDIPort(id);
    }
}

void addPorts(MidiApi& api, const Direction& d, uint32_t count) {
    logInfo(d.addedLine);
    const std::vector<Present> ports = presentPorts(api, d.input, count);
    std::vector<std::pair<int32_t, int>> reconnects;
    {
        std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
        DeviceManager* devices = listingDeviceManager();
        for (const Present& port : matchAndRepoint(d.input, ports).unmatchedPorts) {
            logInfo(port.deviceIndex, " - ", port.name, " added");
            MIDIPortInfo info;
            info.ins = d.input ? 1 : 0;
            info.outs = d.input ? 0 : 1;
            info.deviceIndex = port.deviceIndex;
            const uint32_t r = d.input ? api.inputName(port.deviceIndex, info.name)
                                       : api.outputName(port.deviceIndex, info.name);
            info.working = r == midiresult::kOk;
            if (!info.working) info.name = "Non working";
            const int32_t id = insertMIDIPort(std::move(info));
            // Entered in the table and the device manager's lists in one step.
            if (devices)
                if (const std::optional<int> value = devices->admitMidiPort(id))
                    reconnects.emplace_back(id, *value);
        }
    }
    // Enabling reaches the engine and the graph: never under the lock.
    if (DeviceManager* devices = listingDeviceManager())
        for (const auto& [id, value] : reconnects)
            devices->reconnectMidiPort(id, value);
}

const Direction kInputs{true, "Removed MIDI Input(s)", "Added MIDI Input(s)"};
const Direction kOutputs{false, "Removed MIDI Output(s)", "Added MIDI Output(s)"};

} // namespace

void rescanMIDIPorts() {
    rescanMIDIPorts(std::chrono::milliseconds(50));
}

void rescanMIDIPorts(std::chrono::milliseconds settle) {
    // The system announces a change before its drivers have all settled.
    if (settle.count() > 0) std::this_thread::sleep_for(settle);
    std::lock_guard<std::recursive_mutex> changing(DeviceManager::midiDevicesLock());
    // A table never used yet (or cleared at engine shutdown) is enumerated as it is now.
    if (midiPortsNeedEnumeration()) snapshotMIDIPorts();
    MidiApi& api = midiApi();
    const uint32_t nIn = api.inputCount();
    const uint32_t nOut = api.outputCount();
    const uint32_t lastIn = midiPortLastInputCount();
    const uint32_t lastOut = midiPortLastOutputCount();
    if (nIn == lastIn && nOut == lastOut) return;
    if (nIn < lastIn) removePorts(api, kInputs, nIn);
    if (nOut < lastOut) removePorts(api, kOutputs, nOut);
    if (nIn > lastIn) addPorts(api, kInputs, nIn);
    if (nOut > lastOut) addPorts(api, kOutputs, nOut);
    setMIDIPortCounts(nIn, nOut);
}

} // namespace vantor
