// The MIDI file player opcodes (303-308), on the graph's player.
#include "bridge/EngineDispatch.h"
#include "graph/GraphManager.h"
#include "midifile/MIDIFilePlayer.h"

namespace vantor::dispatch {

bool midiFileOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    if (call.opcode < VE_ENGINE_MIDI_PLAY || call.opcode > VE_ENGINE_MIDI_DURATION_GET) return false;
    if (call.opcode == VE_ENGINE_MIDI_LOAD && !call.p1) {
        result = kEngineNoResult;
        return true;
    }
    GraphManager* graph = liveGraph(manager);
    MIDIFilePlayer* player = graph ? graph->getMidiFilePlayer() : nullptr;
    if (!player) {
        result = kEngineFailed;
        return true;
    }
    switch (call.opcode) {
    case VE_ENGINE_MIDI_PLAY:
        player->startPlayback();
        result = kEngineOk;
        break;
    case VE_ENGINE_MIDI_STOP:
        player->stopPlayback();
        result = kEngineOk;
        break;
    case VE_ENGINE_MIDI_SEEK:
        player->seek(call.f);
        result = kEngineOk;
        break;
    case VE_ENGINE_MIDI_POSITION_GET:
        if (!call.p1) {
            result = kEngineFailed;
            break;
        }
        *static_cast<double*>(call.p1) = player->getPosition();
        result = kEngineOk;
        break;
    case VE_ENGINE_MIDI_LOAD:
        result = player->load(static_cast<const char*>(call.p1)) ? kEngineOk : kEngineFailed;
        break;
    case VE_ENGINE_MIDI_DURATION_GET:
        if (!call.p1) {
            result = kEngineFailed;
            break;
        }
        *static_cast<double*>(call.p1) = player->durationSeconds();
        result = kEngineOk;
        break;
    }
    return true;
}

} // namespace vantor::dispatch
