// The graph module that records the final stereo output to a WAV file.
// (Declaration agreed with the graph; the recording work fills in the members it needs.)
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "graph/Module.h"

#include <string>

namespace vantor {

class StereoFileOutputModule : public Module {
public:
    StereoFileOutputModule();
    ~StereoFileOutputModule() override;

    void initialize(Instance* context, DSPInfo* info) override;
    void setDSPInfo(DSPInfo* info) override;
    // inputs: left/right of the final output; outputs unused (null).
    void processAudio(float** inputs, float** outputs, uint32_t frames, bool accumulate) override;

    // VE_ENGINE_RECORDING_FILE_SET. callerReports: a file that cannot be created is only logged
    // (the caller reads report()) instead of shown in a box.
    bool setRecordingFile(const std::string& utf8Path, int formatFlag, int bits, bool callerReports = false);
    bool startRecording();           // VE_ENGINE_RECORDING_START
    bool stopRecording();            // VE_ENGINE_RECORDING_STOP
    bool isRecording();              // VE_ENGINE_RECORDING_ISRECORDING
    // VE_ENGINE_RECORDING_REPORT_GET: the recording whose file was set last (opcode threads).
    void report(RecordingReport& out);

    void setStopOnSilence(bool on);
    bool getStopOnSilence();

private:
    struct State;
    void replaceBuffer(uint32_t frames);
    // Shows file failures reported by other threads (opcode thread only).
    void showPendingErrors();
    // Ends the recording if it is running; waitForAudioThread is false only inside processAudio.
    bool stopFromThisThread(bool waitForAudioThread);
    // A new stream description while a file is set: the file follows a new sample rate or the
    // switch between real-time and offline writing (opcode thread, audio stopped).
    void adaptFileTo(const DSPInfo* info);

    State* state_;
};

} // namespace vantor
