// The instrument opcodes (330-337), on the graph's instrument slots.
#include "bridge/EngineDispatch.h"
#include "bridge/SMPLModule.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"

#include <memory>

namespace vantor::dispatch {

bool instrumentOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_INSTRUMENT_ADD: {
        // The engine module is created, started and put into slot 0; the result is 3 whether or
        // not that worked. A module that cannot load its engine ends the process inside init,
        // unless the caller reports failures itself: then the answer is 0 or 1 with the message.
        // A process holds one engine: a second add, for a slot that is taken, loads nothing.
        Instance* context = manager.context();
        GraphManager* graph = liveGraph(manager);
        const bool report = (manager.startFlags() & kStartCallerReports) != 0;
        result = kEngineNoResult;
        if (context && graph && !graph->getInstrument(0)) {
            auto module = std::make_unique<SMPLModule>();
            module->setReportFailures(report);
            if (!module->init(context, context->getDSPInfo())) {
                if (call.p1 && call.i2 > 0)
                    copyName(static_cast<char*>(call.p1), static_cast<size_t>(call.i2), module->failure());
                result = kEngineFailed;
                return true;
            }
            module->start();
            if (graph->addInstrument(0, module.get())) module.release();
        }
        if (report) result = graph && graph->getInstrument(0) ? kEngineOk : kEngineFailed;
        return true;
    }
    case VE_ENGINE_INSTRUMENT_REMOVE:
    case VE_ENGINE_INSTRUMENT_GUI_SHOW:
    case VE_ENGINE_INSTRUMENT_GUI_CLOSE:
    case VE_ENGINE_INSTRUMENT_CHUNK_SAVE:
    case VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END:
    case VE_ENGINE_INSTRUMENT_CHUNK_LOAD:
        break;
    default:
        return false;
    }

    GraphManager* graph = liveGraph(manager);
    if (!graph) {
        result = kEngineFailed;
        return true;
    }
    bool ok = false;
    switch (call.opcode) {
    case VE_ENGINE_INSTRUMENT_REMOVE:
        ok = graph->removeInstrument(call.i1);
        break;
    case VE_ENGINE_INSTRUMENT_GUI_SHOW:
        ok = graph->showInstrumentUI(call.i1, call.p1);
        break;
    case VE_ENGINE_INSTRUMENT_GUI_CLOSE:
        ok = graph->closeInstrumentUI(call.i1);
        break;
    case VE_ENGINE_INSTRUMENT_CHUNK_SAVE: {
        // Both the data pointer's destination and the size are written: neither may be null.
        if (!call.p1 || !call.p2) break;
        int32_t size = 0;
        ok = graph->saveInstrumentChunk(call.i1, static_cast<void**>(call.p1), &size);
        if (ok) *static_cast<int32_t*>(call.p2) = size;
        break;
    }
    case VE_ENGINE_INSTRUMENT_CHUNK_SAVE_END:
        ok = graph->saveInstrumentChunkEnd(call.i1);
        break;
    case VE_ENGINE_INSTRUMENT_CHUNK_LOAD:
        // A negative size would be read as a huge length.
        if (!call.p1 || call.i3 <= 0) break;
        ok = graph->loadInstrumentChunk(call.i1, call.p1, call.i3);
        break;
    }
    result = ok ? kEngineOk : kEngineFailed;
    return true;
}

} // namespace vantor::dispatch
