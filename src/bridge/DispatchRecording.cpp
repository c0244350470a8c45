// The recording opcodes (530-534), on the graph's recorder.
#include "bridge/EngineDispatch.h"
#include "graph/GraphManager.h"
#include "recording/StereoFileOutputModule.h"

namespace vantor::dispatch {

bool recordingOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    if (call.opcode < VE_ENGINE_RECORDING_FILE_SET || call.opcode > VE_ENGINE_RECORDING_REPORT_GET)
        return false;
    GraphManager* graph = liveGraph(manager);
    StereoFileOutputModule* recorder = graph ? graph->getRecorder() : nullptr;
    if (!recorder) {
        result = kEngineFailed;
        return true;
    }
    switch (call.opcode) {
    case VE_ENGINE_RECORDING_FILE_SET:
        result = call.p1 && recorder->setRecordingFile(static_cast<const char*>(call.p1), call.i1, call.i2,
                                                       call.i3 == kRecordingFileCallerReports)
                     ? kEngineOk
                     : kEngineFailed;
        break;
    case VE_ENGINE_RECORDING_START:
        result = recorder->startRecording() ? kEngineOk : kEngineFailed;
        break;
    case VE_ENGINE_RECORDING_STOP:
        result = recorder->stopRecording() ? kEngineOk : kEngineFailed;
        break;
    case VE_ENGINE_RECORDING_ISRECORDING:
        if (!call.p1) {
            result = kEngineFailed;
            break;
        }
        *static_cast<int32_t*>(call.p1) = recorder->isRecording() ? 1 : 0;
        result = kEngineOk;
        break;
    case VE_ENGINE_RECORDING_REPORT_GET:
        if (!call.p1) {
            result = kEngineFailed;
            break;
        }
        recorder->report(*static_cast<RecordingReport*>(call.p1));
        result = kEngineOk;
        break;
    }
    return true;
}

} // namespace vantor::dispatch
