// MIDI hot-plug: keeps the MIDI port table and the device manager's MIDI lists current when ports
// come and go while the host runs.
//
// The back end numbers ports by position, so a removal shifts the device indexes of the ports
// behind it. A pass compares the port counts with the last seen ones (silent when both are
// unchanged), then, per direction, matches the present ports with the table's entries by name:
// each present port takes at most one entry and each entry at most one port, in ascending device
// index order on both sides, so two identical keyboards keep two entries. Matched entries keep
// their ids and follow their port's new device index; unmatched entries of a shrunken direction
// are gone (the device manager hears it first, which disables a port that was in use);
// unmatched ports of a grown direction are entered under fresh ids and announced (a port that
// vanished while in use is enabled in the engine again). Removals run before additions, outputs
// as inputs.
//
// Runs on the main window's thread; passes never overlap. Everything goes to the log.
#pragma once

#include <chrono>

namespace vantor {

// The whole check, after letting the system settle for 50 ms.
void rescanMIDIPorts();
// The same with another settle time (tests).
void rescanMIDIPorts(std::chrono::milliseconds settle);

} // namespace vantor
