// The host core's one composition root: every hook by which a lower layer of the core reaches a
// higher one is installed here, when the engine is initialised, and nowhere else.
#pragma once

namespace vantor {

class MIDIFilePlayer;
class StereoFileOutputModule;

// The factory registry's device factories, and the device manager's view of MIDI ports that
// devices acquire and release. Safe to call again (it replaces the hooks with the same ones).
void installCoreHooks();

// What the graph is handed at initialisation: the MIDI file player and the recorder (owned by
// the caller until handed over).
MIDIFilePlayer* makeMidiFilePlayer();
StereoFileOutputModule* makeRecorder();

} // namespace vantor
