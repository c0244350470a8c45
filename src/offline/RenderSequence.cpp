#include "offline/RenderSequence.h"

#include <chrono>
#include <thread>

namespace vantor {

namespace {

// Its own clock: the command-line renderer compiles this file beside the host library, whose
// internals it cannot reach.
double secondsClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int32_t send(EngineOpcodeFunction op, int32_t opcode, void* p1 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
             float f = 0.0f) {
    return op(opcode, p1, nullptr, i1, i2, 0, f);
}

double position(EngineOpcodeFunction op) {
    double value = 0.0;
    if (send(op, VE_ENGINE_MIDI_POSITION_GET, &value) != kEngineOk) return 0.0;
    return value;
}

bool recording(EngineOpcodeFunction op) {
    int32_t value = 0;
    return send(op, VE_ENGINE_RECORDING_ISRECORDING, &value) == kEngineOk && value != 0;
}

// The poll period: the renderer runs on its own thread, this one only watches.
void pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void finish(EngineOpcodeFunction op) {
    send(op, VE_ENGINE_MIDI_STOP);
    send(op, VE_ENGINE_MIDI_SEEK, nullptr, 0, 0, 0.0f);
    send(op, VE_ENGINE_RECORDING_STOP);
    send(op, VE_ENGINE_AUDIO_STOP);
    send(op, VE_ENGINE_OFFLINE_SET, nullptr, 0);
}

} // namespace

RenderOutcome renderMidiFile(EngineOpcodeFunction op, const RenderRequest& request) {
    RenderOutcome outcome;
    const double started = secondsClock();
    std::string midi = request.midiPath;
    std::string wav = request.wavPath;
    if (send(op, VE_ENGINE_MIDI_LOAD, midi.data()) != kEngineOk) {
        outcome.error = "cannot read \"" + request.midiPath + "\" as a MIDI file";
        return outcome;
    }
    if (send(op, VE_ENGINE_OFFLINE_SET, nullptr, 1) != kEngineOk) {
        outcome.error = "the instance refused to go offline";
        return outcome;
    }
    send(op, VE_ENGINE_RECORDING_FILE_SET, wav.data(), 0, 32);
    if (send(op, VE_ENGINE_RECORDING_START) != kEngineOk || !recording(op)) {
        outcome.error = "cannot write \"" + request.wavPath + "\"";
        send(op, VE_ENGINE_OFFLINE_SET, nullptr, 0);
        return outcome;
    }
    send(op, VE_ENGINE_MIDI_PLAY);
    if (send(op, VE_ENGINE_AUDIO_START) != kEngineOk) {
        outcome.error = "the offline renderer did not start";
        finish(op);
        return outcome;
    }

    double last = -1.0;
    double movedAt = secondsClock();
    for (;;) {
        const double p = position(op);
        if (request.progress) request.progress(p);
        if (p == 1.0) break;
        if (p != last) {
            last = p;
            movedAt = secondsClock();
        } else if (secondsClock() - movedAt > request.stallSeconds) {
            outcome.error = "the MIDI file player stopped advancing before the end of \"" + request.midiPath + "\"";
            finish(op);
            return outcome;
        }
        pause();
    }
    // The recorder stops itself one second into the silence after the music; wait for that,
    // bounded by the wall time the longest allowed tail could take.
    const double tailDeadline = secondsClock() + request.maxTailSeconds + request.stallSeconds;
    while (recording(op) && secondsClock() < tailDeadline)
        pause();
    finish(op);
    outcome.ok = true;
    outcome.wallSeconds = secondsClock() - started;
    return outcome;
}

} // namespace vantor
