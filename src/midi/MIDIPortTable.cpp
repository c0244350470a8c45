#include "midi/MIDIPortTable.h"
#include "midi/MidiApi.h"

#include <map>
#include <memory>
#include <mutex>

namespace vantor {

namespace {

struct PortTable {
    std::map<int32_t, std::unique_ptr<MIDIPortInfo>> ports;
    uint32_t lastInputs = 0;
    uint32_t lastOutputs = 0;
    bool needsEnumeration = true;
    int32_t nextId = 0;
};

PortTable& table() {
    static PortTable instance;
    return instance;
}

const char* const kNonWorking = "Non working";

// Outputs first, then inputs; lock held.
void enumerate(PortTable& t) {
    MidiApi& api = midiApi();
    const uint32_t nOut = api.outputCount();
    const uint32_t nIn = api.inputCount();
    t.lastOutputs = nOut;
    t.lastInputs = nIn;
    for (uint32_t k = 0; k < nOut; ++k) {
        auto info = std::make_unique<MIDIPortInfo>();
        info->id = static_cast<int32_t>(k);
        info->deviceIndex = k;
        info->outs = 1;
        info->working = api.outputName(k, info->name) == 0;
        if (!info->working) info->name = kNonWorking;
        t.ports[info->id] = std::move(info);
        ++t.nextId;
    }
    for (uint32_t j = 0; j < nIn; ++j) {
        auto info = std::make_unique<MIDIPortInfo>();
        info->id = static_cast<int32_t>(nOut + j);
        info->deviceIndex = j;
        info->ins = 1;
        info->working = api.inputName(j, info->name) == 0;
        if (!info->working) info->name = kNonWorking;
        t.ports[info->id] = std::move(info);
        ++t.nextId;
    }
    t.needsEnumeration = false;
}

void enumerateIfNeeded(PortTable& t) {
    if (t.needsEnumeration) enumerate(t);
}

} // namespace

std::recursive_mutex& midiPortsLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::vector<MIDIPortInfo> snapshotMIDIPorts() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    enumerateIfNeeded(t);
    std::vector<MIDIPortInfo> out;
    out.reserve(t.ports.size());
    for (const auto& [id, info] : t.ports)
        out.push_back(*info);
    return out;
}

bool setMIDIPortDeviceIndex(int32_t portId, uint32_t deviceIndex) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    auto it = t.ports.find(portId);
    if (it == t.ports.end()) return false;
    it->second->deviceIndex = deviceIndex;
    return true;
}

bool eraseMIDIPort(int32_t portId) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    return t.ports.erase(portId) > 0;
}

int32_t insertMIDIPort(MIDIPortInfo info) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    info.id = t.nextId++;
    const int32_t id = info.id;
    t.ports[id] = std::make_unique<MIDIPortInfo>(std::move(info));
    return id;
}

void setMIDIPortCounts(uint32_t inputs, uint32_t outputs) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    t.lastInputs = inputs;
    t.lastOutputs = outputs;
}

void listMIDIPorts(std::vector<int32_t>& ids) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    enumerateIfNeeded(t);
    ids.clear();
    for (const auto& [id, info] : t.ports)
        ids.push_back(id);
}

std::optional<MIDIPortInfo> findMIDIPort(int32_t portId) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    enumerateIfNeeded(t);
    auto it = t.ports.find(portId);
    if (it == t.ports.end()) return std::nullopt;
    return *it->second;
}

std::optional<MIDIPortInfo> peekMIDIPort(int32_t portId) {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    auto it = t.ports.find(portId);
    if (it == t.ports.end()) return std::nullopt;
    return *it->second;
}

void clearMIDIPorts() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    t.ports.clear();
    t.needsEnumeration = true;
}

int32_t midiPortNextId() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    return t.nextId;
}

uint32_t midiPortLastInputCount() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    return t.lastInputs;
}

uint32_t midiPortLastOutputCount() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    return t.lastOutputs;
}

bool midiPortsNeedEnumeration() {
    PortTable& t = table();
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    return t.needsEnumeration;
}

} // namespace vantor
