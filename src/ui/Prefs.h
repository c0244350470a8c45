// The modal "Preferences" dialog of the "Tools" menu: audio API, output device, stereo pair,
// sample rate, buffer size and MIDI inputs, each applied at once through engineOpcode. GUI thread
// only.
#pragma once

#include "engineapi/EngineOpcodes.h"

namespace vantor {

// Runs the dialog modally over `parent` (the main window) and returns when it is closed: audio
// that played is stopped meanwhile and started again afterwards (the start-up's audio error box
// when that fails). Headless there is no dialog: the call is logged and nothing changes.
void showPreferences(void* parent, EngineOpcodeFunction opcode);

} // namespace vantor
