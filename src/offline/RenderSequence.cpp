#include "offline/RenderSequence.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace vantor {

namespace {

// Its own clock: the command-line renderer compiles this file beside the host library, whose
// internals it cannot reach.
double secondsClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int32_t send(EngineOpcodeFunction op, int32_t opcode, void* p1 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             float f = 0.0f, int32_t i3 = 0) {
    return op(opcode, p1, nullptr, i1, i2, i3, f);
}

double position(EngineOpcodeFunction op) {
    double value = 0.0;
    if (send(op, VE_ENGINE_MIDI_POSITION_GET, &value) != kEngineOk) return 0.0;
    return value;
}

// The poll period: the renderer runs on its own thread, this one only watches.
void pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool interrupted(const RenderRequest& request) {
    return request.interrupt && request.interrupt->load();
}

} // namespace

std::string clockText(double seconds) {
    const long long whole = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds) : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

bool loadRenderFile(EngineOpcodeFunction op, const std::string& midiUtf8, double& seconds) {
    seconds = 0.0;
    std::string midi = midiUtf8;
    if (send(op, VE_ENGINE_MIDI_LOAD, midi.data()) != kEngineOk) return false;
    send(op, VE_ENGINE_MIDI_DURATION_GET, &seconds);
    return true;
}

RenderStart startRendering(EngineOpcodeFunction op, const std::string& wavUtf8) {
    if (send(op, VE_ENGINE_OFFLINE_SET, nullptr, 1) != kEngineOk) return RenderStart::OfflineRefused;
    std::string wav = wavUtf8;
    if (send(op, VE_ENGINE_RECORDING_FILE_SET, wav.data(), 0, 32, 0.0f, kRecordingFileCallerReports) !=
        kEngineOk) {
        send(op, VE_ENGINE_OFFLINE_SET, nullptr, 0);
        return RenderStart::FileRefused;
    }
    const bool recording = send(op, VE_ENGINE_RECORDING_START) == kEngineOk;
    send(op, VE_ENGINE_MIDI_PLAY);
    if (!recording || send(op, VE_ENGINE_AUDIO_START) != kEngineOk) {
        finishRendering(op);
        return RenderStart::StartRefused;
    }
    return RenderStart::Started;
}

void finishRendering(EngineOpcodeFunction op) {
    send(op, VE_ENGINE_MIDI_STOP);
    send(op, VE_ENGINE_MIDI_SEEK, nullptr, 0, 0, 0.0f);
    send(op, VE_ENGINE_RECORDING_STOP);
    send(op, VE_ENGINE_AUDIO_STOP);
    send(op, VE_ENGINE_OFFLINE_SET, nullptr, 0);
}

RecordingReport recordingReport(EngineOpcodeFunction op) {
    RecordingReport report;
    send(op, VE_ENGINE_RECORDING_REPORT_GET, &report);
    return report;
}

RenderOutcome renderMidiFile(EngineOpcodeFunction op, const RenderRequest& request) {
    RenderOutcome outcome;
    const double started = secondsClock();
    const std::string shown = request.shownWavPath.empty() ? request.wavPath : request.shownWavPath;
    if (!loadRenderFile(op, request.midiPath, outcome.expectedSeconds)) {
        outcome.error = "\"" + request.midiPath + "\" is not a MIDI file (or cannot be read)";
        return outcome;
    }
    if (request.maxSeconds > 0 && outcome.expectedSeconds > request.maxSeconds) {
        outcome.error = "it plays for " + clockText(outcome.expectedSeconds) + ", longer than the limit of " +
                        clockText(request.maxSeconds);
        return outcome;
    }
    int32_t rate = 0, block = 0;
    op(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &block, 0, 0, 0, 0.0f);
    const double frameRate = rate > 0 ? rate : 48000.0;

    // Every return from here on says which files the recording wrote, so nothing is left behind.
    const auto done = [&](RenderStatus status, std::string error, bool finish) {
        if (finish) finishRendering(op);
        const RecordingReport report = recordingReport(op);
        outcome.files = report.files;
        outcome.audioSeconds = static_cast<double>(report.frames) / frameRate;
        if (status == RenderStatus::Ok && report.failed) {
            status = RenderStatus::Failed;
            error =
                "cannot write \"" + shown + "\": " + (report.error.empty() ? "writing failed" : report.error);
        }
        outcome.status = status;
        outcome.error = std::move(error);
        outcome.wallSeconds = secondsClock() - started;
        return outcome;
    };

    switch (startRendering(op, request.wavPath)) {
    case RenderStart::Started:
        break;
    case RenderStart::OfflineRefused:
        outcome.error = "the instance refused to go offline";
        return outcome;
    case RenderStart::FileRefused: {
        const RecordingReport report = recordingReport(op);
        outcome.error = "cannot write \"" + shown + "\": " +
                        (report.error.empty() ? std::string("the file cannot be created") : report.error);
        return outcome;
    }
    case RenderStart::StartRefused:
        return done(RenderStatus::Failed, "the offline renderer did not start", false);
    }

    double last = -1.0;
    double movedAt = secondsClock();
    for (;;) {
        if (interrupted(request)) return done(RenderStatus::Interrupted, "interrupted", true);
        const double p = position(op);
        if (request.progress) request.progress(p);
        if (p == 1.0) break;
        if (p != last) {
            last = p;
            movedAt = secondsClock();
        } else if (secondsClock() - movedAt > request.stallSeconds) {
            return done(RenderStatus::Failed,
                        "the MIDI file player stopped advancing before the end of \"" + request.midiPath +
                            "\"",
                        true);
        }
        pause();
    }
    // The recorder stops itself one second into the silence after the music. The wait for that
    // is bounded in audio: at most maxTailSeconds past the file's end, however fast it renders.
    const uint64_t tailEnd =
        static_cast<uint64_t>((outcome.expectedSeconds + request.maxTailSeconds) * frameRate);
    uint64_t lastFrames = 0;
    movedAt = secondsClock();
    for (;;) {
        if (interrupted(request)) return done(RenderStatus::Interrupted, "interrupted", true);
        const RecordingReport report = recordingReport(op);
        if (!report.recording || report.frames >= tailEnd) break;
        if (report.frames != lastFrames) {
            lastFrames = report.frames;
            movedAt = secondsClock();
        } else if (secondsClock() - movedAt > request.stallSeconds) {
            return done(RenderStatus::Failed,
                        "the render stopped advancing after the end of \"" + request.midiPath + "\"", true);
        }
        pause();
    }
    return done(RenderStatus::Ok, {}, true);
}

} // namespace vantor
