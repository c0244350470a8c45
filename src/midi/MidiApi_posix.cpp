// Without a system MIDI API of its own, the native build uses the virtual back end.
#include "midi/MidiApi.h"
#include "midi/VirtualMidi.h"

namespace vantor {

MidiApi& platformMidiApi() {
    return virtualMidi();
}

} // namespace vantor
