// The MIDI device opcodes (510-513). Listing and enabling need the MIDI device factory;
// disabling, looking up and listing the devices in use work on the graph alone.
#include "bridge/EngineDispatch.h"
#include "graph/GraphManager.h"

#include <vector>

namespace vantor::dispatch {

bool midiDeviceOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_MIDIDEVICE_LIST:
        // The list comes from the MIDI device factory.
        result = kEngineFailed;
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

    case VE_ENGINE_MIDIDEVICE_ENABLE: {
        GraphManager* graph = liveGraph(manager);
        if (!graph) {
            result = kEngineFailed;
            return true;
        }
        if (call.i2 == -1) {
            graph->removeMidiDevice(call.i1);
            result = kEngineOk;
            return true;
        }
        // The device is created through the MIDI device factory.
        result = kEngineFailed;
        return true;
    }

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
