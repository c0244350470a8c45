// The graph module that plays a loaded MIDI file into the instrument, one block at a time.
// (Declaration agreed with the graph; the MIDI-file work fills in the members it needs.)
#pragma once

#include "graph/Module.h"

#include <cstddef>
#include <string>

namespace vantor {

class MIDIFilePlayer : public Module {
public:
    MIDIFilePlayer();
    ~MIDIFilePlayer() override;

    void initialize(Instance* context, DSPInfo* info) override;

    // VE_ENGINE_MIDI_LOAD. False (and no file) when it cannot be read or is not a MIDI file.
    bool load(const std::string& utf8Path);
    void startPlayback();                   // VE_ENGINE_MIDI_PLAY
    void stopPlayback();                    // VE_ENGINE_MIDI_STOP
    void seek(float fraction);              // VE_ENGINE_MIDI_SEEK, 0..1
    double getPosition();                   // 0..1, read without the lock; 1.0 = end of file
    // Seconds the loaded file plays (its tempo map up to its end); 0 without a file.
    double durationSeconds() const;
    // As load, from a whole file's bytes in memory (they need not outlive the call).
    bool loadFromMemory(const unsigned char* bytes, size_t size);

    // Audio / offline thread, once per block: advance, then append this block's events.
    void advance();
    void getBlockEvents(MidiEventArray& events);

private:
    // Replaces the file: read from path when bytes is null, else parsed from bytes.
    bool replaceFile(const std::string& utf8Path, const unsigned char* bytes, size_t size);

    struct State;
    State* state_;
};

} // namespace vantor
