// One MIDI file to one 32-bit float WAV file through the host's opcode entry point, in the order
// the render dialog uses: MIDI file load, offline on, recording file set, recording start, play,
// audio start, the player's position polled to its end, then the finish sequence (MIDI stop,
// seek 0, recording stop, audio stop, offline off).
//
// Unlike the dialog, which stops at the first poll after the end, this waits (bounded in audio
// time) until the recorder has ended by itself on the silence after the music: the file then
// never depends on when the poll happened, so two renders of one file are identical.
#pragma once

#include "engineapi/EngineOpcodes.h"

#include <functional>
#include <string>

namespace vantor {

struct RenderOutcome {
    bool ok = false;
    std::string error;          // why it failed, for the user
    double audioSeconds = 0.0;  // length of the rendered audio
    double wallSeconds = 0.0;   // time the render took
};

struct RenderRequest {
    std::string midiPath;       // UTF-8
    std::string wavPath;        // UTF-8
    // Called with the player's position (0..1) at every poll; may be empty.
    std::function<void(double)> progress;
    // Gives up when the position has not moved for this long (a file that never ends).
    double stallSeconds = 30.0;
    // Audio past the end of the file after which the recording is stopped if it has not ended.
    double maxTailSeconds = 30.0;
};

// The instance must be initialised with its stream settings and instrument; audio must not be
// playing. Answers only once the instance is back online.
RenderOutcome renderMidiFile(EngineOpcodeFunction opcode, const RenderRequest& request);

} // namespace vantor
