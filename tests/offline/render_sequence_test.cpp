// The render sequence against a scripted host: the wait for the release tail is bounded in audio
// time, a recording that failed fails the file, an interrupt stops it, and every way out leaves
// the instance back online with the files it wrote named.
#include "offline/RenderSequence.h"
#include "support/OpcodeRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

using namespace vantor;

TEST(RenderSequence, EndsInAudioTimeAndReportsWhatTheRecordingDid) {
    const struct {
        const char* name;
        bool failed, interrupt;
        RenderStatus status;
        const char* error;
    } table[] = {
        {"a tail that never falls silent stops after maxTailSeconds of audio", false, false, RenderStatus::Ok, ""},
        {"a recording that failed fails the file", true, false, RenderStatus::Failed,
         "cannot write \"song.wav\": No space left on device"},
        {"an interrupt stops it", false, true, RenderStatus::Interrupted, "interrupted"},
    };
    for (const auto& row : table) {
        test::OpcodeRecorder host;
        host.setPosition(1.0); // the file's end comes at once; the tail is what is timed
        bool recording = false;
        uint64_t frames = 0;
        host.setOutputs([&](int32_t opcode, void* p1, void* p2, int32_t, int32_t, int32_t, int32_t answer) {
            if (opcode == VE_ENGINE_MIDI_DURATION_GET) *static_cast<double*>(p1) = 1.0;
            if (opcode == VE_ENGINE_AUDIODEVICE_SETTINGS_GET) *static_cast<int32_t*>(p1) = 48000;
            if (opcode == VE_ENGINE_AUDIODEVICE_SETTINGS_GET) *static_cast<int32_t*>(p2) = 512;
            if (opcode == VE_ENGINE_RECORDING_START || opcode == VE_ENGINE_RECORDING_STOP)
                recording = opcode == VE_ENGINE_RECORDING_START && !row.failed;
            if (opcode == VE_ENGINE_RECORDING_REPORT_GET) {
                auto& report = *static_cast<RecordingReport*>(p1);
                frames += recording ? 4800 : 0; // 0.1 s of audio between two looks, however fast
                report = {recording, row.failed, frames, {"song.wav.tmp"}, row.failed ? "No space left on device" : ""};
            }
            return answer;
        });
        const std::atomic<bool> interrupt{row.interrupt};
        RenderRequest request;
        request.midiPath = "song.mid";
        request.wavPath = "song.wav.tmp";
        request.shownWavPath = "song.wav";
        request.interrupt = &interrupt;
        request.maxTailSeconds = 2.0;
        const auto started = std::chrono::steady_clock::now();
        const RenderOutcome outcome = renderMidiFile(test::OpcodeRecorder::function(), request);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(outcome.status, row.status) << row.name;
        EXPECT_EQ(outcome.error, row.error) << row.name;
        EXPECT_EQ(outcome.files, (std::vector<std::string>{"song.wav.tmp"})) << row.name;
        const auto online = std::find_if(host.calls().rbegin(), host.calls().rend(),
                                         [](const test::OpcodeCall& c) { return c.opcode == VE_ENGINE_OFFLINE_SET; });
        EXPECT_TRUE(online != host.calls().rend() && online->i1 == 0) << row.name << ": back online";
        EXPECT_LT(wall.count(), 5.0) << row.name << ": not bounded by the wall clock's 30 s";
        if (row.status == RenderStatus::Ok) {
            EXPECT_NEAR(outcome.audioSeconds, 1.0 + 2.0, 0.11) << row.name;
        }
    }
}
