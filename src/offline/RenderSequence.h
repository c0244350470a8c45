// One MIDI file to one 32-bit float WAV file through the host's opcode entry point, in the order
// the render dialog uses: MIDI file load, offline on, recording file set, recording start, play,
// audio start, the player's position polled to its end, then the finish sequence (MIDI stop,
// seek 0, recording stop, audio stop, offline off). The dialog runs the same pieces
// (loadRenderFile, startRendering, finishRendering) from its own timer.
//
// Unlike the dialog, which stops at the first poll after the end, this waits (bounded in audio
// time) until the recorder has ended by itself on the silence after the music: the file then
// never depends on when the poll happened, so two renders of one file are identical.
#pragma once

#include "engineapi/EngineOpcodes.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace vantor {

enum class RenderStatus { Ok, Failed, Interrupted };

struct RenderOutcome {
    RenderStatus status = RenderStatus::Failed;
    std::string error;              // why it failed, for the user
    double expectedSeconds = 0.0;   // how long the MIDI file plays, from its tempo map
    double audioSeconds = 0.0;      // length of the rendered audio, all parts together
    double wallSeconds = 0.0;       // time the render took
    std::vector<std::string> files; // the WAV files written: the one asked for, then its parts
    bool ok() const { return status == RenderStatus::Ok; }
};

struct RenderRequest {
    std::string midiPath; // UTF-8
    std::string wavPath;  // UTF-8, where the recording goes
    // The output's name in messages (the WAV path when empty).
    std::string shownWavPath;
    // Called with the player's position (0..1) at every poll; may be empty.
    std::function<void(double)> progress;
    // Set by another thread (Ctrl-C): the render stops at the next block boundary.
    const std::atomic<bool>* interrupt = nullptr;
    // A file that plays longer than this is refused before anything renders (0: no limit).
    double maxSeconds = 0.0;
    // Gives up when neither the position nor the audio has moved for this long (wall time).
    double stallSeconds = 30.0;
    // Audio past the end of the file after which the recording is stopped if it has not ended.
    double maxTailSeconds = 30.0;
};

// Loads the MIDI file into the player: false when it is refused (not a MIDI file, unreadable).
// seconds: how long it plays.
bool loadRenderFile(EngineOpcodeFunction opcode, const std::string& midiUtf8, double& seconds);

enum class RenderStart { Started, OfflineRefused, FileRefused, StartRefused };
// Offline on, the recording file set (a failure is the caller's to report: the recorder shows
// no box) and started, play, audio start. Whatever does not start is undone: the instance is
// back online unless the answer is Started.
RenderStart startRendering(EngineOpcodeFunction opcode, const std::string& wavUtf8);
// MIDI stop, seek 0, recording stop, audio stop, offline off.
void finishRendering(EngineOpcodeFunction opcode);
// The recording's files, frames and failure (from VE_ENGINE_RECORDING_REPORT_GET).
RecordingReport recordingReport(EngineOpcodeFunction opcode);

// The instance must be initialised with its stream settings and instrument; audio must not be
// playing. Answers only once the instance is back online.
RenderOutcome renderMidiFile(EngineOpcodeFunction opcode, const RenderRequest& request);

// "1:02:03" style, for messages about durations.
std::string clockText(double seconds);

} // namespace vantor
