// The MIDI device opcodes (510-513).
#include "bridge/EngineDispatch.h"
#include "devices/DeviceManager.h"
#include "devices/MIDIDeviceFactory.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "log/Log.h"
#include "midi/MIDIPortTable.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace vantor::dispatch {

namespace {

int32_t listMidiDevices(const OpcodeCall& call) {
    // The ids and their records must come from one state of the lists (hot-plug changes them).
    std::lock_guard<std::recursive_mutex> guard(midiPortsLock());
    std::vector<int> ids;
    if (MIDIDeviceFactory* factory = MIDIDeviceFactory::peek()) factory->listPortIds(ids, call.i2);
    auto* out = static_cast<MidiDeviceRecord*>(call.p1);
    DeviceManager* devices = DeviceManager::peek();
    return answerListBy(ids.size(), out != nullptr, static_cast<int32_t*>(call.p2), call.i1, [&](size_t i) {
        const MidiDeviceEntry* entry = devices ? devices->midiRecord(ids[i]) : nullptr;
        out[i].id = ids[i];
        copyName(out[i].name, sizeof(out[i].name), entry ? entry->displayName : std::string());
    });
}

int32_t enableMidiDevice(EngineManager& manager, const OpcodeCall& call) {
    Instance* context = manager.context();
    GraphManager* graph = liveGraph(manager);
    if (!context || !graph) return kEngineFailed;
    if (call.i2 == -1) {
        DeviceManager::disableMidiDevice(*graph, call.i1);
        return kEngineOk;
    }
    return DeviceManager::enableMidiDevice(*context, *graph, call.i1, call.i3);
}

} // namespace

bool midiDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_MIDIDEVICE_LIST:
        result = listMidiDevices(call);
        return true;

    case VE_ENGINE_MIDIDEVICE_GET: {
        GraphManager* graph = liveGraph(manager);
        if (!call.p1 || !graph) {
            result = kEngineFailed;
            return true;
        }
        int32_t* out = static_cast<int32_t*>(call.p1);
        *out = -1;
        if (graph->findMidiDevice(call.i1)) *out = call.i1;
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_MIDIDEVICE_ENABLE:
        result = enableMidiDevice(manager, call);
        return true;

    case VE_ENGINE_MIDIDEVICE_GETUSED: {
        GraphManager* graph = liveGraph(manager);
        if (!call.p1 || !graph) {
            result = kEngineFailed;
            return true;
        }
        graph->listMidiDevices(*static_cast<std::vector<UsedMidiDevice>*>(call.p1), call.i1);
        result = kEngineOk;
        return true;
    }

    default:
        return false;
    }
}

} // namespace vantor::dispatch
