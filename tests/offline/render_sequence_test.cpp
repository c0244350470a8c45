// The render sequence against a host whose recording never falls silent (at 48 kHz): the wait for
// the tail ends after maxTailSeconds of audio past the file's end, however fast the audio comes.
#include "offline/RenderSequence.h"
#include "support/OpcodeRecorder.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace vantor;

TEST(RenderSequence, TheTailIsBoundedInAudioTime) {
    test::OpcodeRecorder host;
    host.setPosition(1.0); // the file ends at once: the tail is what is timed
    bool recording = false;
    uint64_t frames = 0;
    host.setOutputs([&](int32_t opcode, void* p1, void*, int32_t, int32_t, int32_t, int32_t answer) {
        if (opcode == VE_ENGINE_MIDI_DURATION_GET) *static_cast<double*>(p1) = 1.0;
        if (opcode == VE_ENGINE_RECORDING_START || opcode == VE_ENGINE_RECORDING_STOP)
            recording = opcode == VE_ENGINE_RECORDING_START;
        if (opcode == VE_ENGINE_RECORDING_REPORT_GET) // 0.1 s more audio at every look
            *static_cast<RecordingReport*>(p1) = {
                recording, false, frames += recording ? 4800 : 0, {"song.tmp"}, ""};
        return answer;
    });
    RenderRequest request;
    request.maxTailSeconds = 2.0;
    const auto started = std::chrono::steady_clock::now();
    const RenderOutcome outcome = renderMidiFile(test::OpcodeRecorder::function(), request);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 5.0);
    EXPECT_EQ(outcome.status, RenderStatus::Ok) << outcome.error;
    EXPECT_EQ(outcome.audioSeconds, 1.0 + 2.0);
    EXPECT_EQ(host.calls().end()[-2], (test::OpcodeCall{VE_ENGINE_OFFLINE_SET, "", 0})) << "back online";
}
