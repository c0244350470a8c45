// The seam between the graph and MIDI device modules.
//
// A MIDI device module (a Module) also implements MidiBlockSource. GraphManager::addMidiDevice
// asks it for its kind: inputs go into the graph's input map and are drained once per block on
// the audio (or offline) thread; anything else, or a Module that does not implement this
// interface, is kept as an output and never asked for events.
//
// getBlockEvents runs on the audio thread under the graph lock: it appends the events received
// since the previous block, each with a frame offset inside the block, and must neither block nor
// allocate (the graph reserves room for maxBlockEvents() records per input in every slot array).
#pragma once

#include "graph/MidiEvent.h"

#include <cstddef>

namespace vantor {

class MidiBlockSource {
public:
    virtual ~MidiBlockSource() = default;
    // True for MIDI inputs; false for outputs.
    virtual bool isMidiInput() const = 0;
    // Appends the events of the current block (audio thread).
    virtual void getBlockEvents(MidiEventArray& events) = 0;
    // The most records one getBlockEvents call can append.
    virtual size_t maxBlockEvents() const { return 1024; }
};

} // namespace vantor
