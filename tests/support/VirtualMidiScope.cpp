#include "support/VirtualMidiScope.h"

#include "midi/MIDIPortTable.h"
#include "midi/MidiApi.h"

namespace vantor::test {

VirtualMidiScope::VirtualMidiScope() {
    clearMIDIPorts();
    setMidiApi(&api_);
}

VirtualMidiScope::~VirtualMidiScope() {
    clearMIDIPorts();
    setMidiApi(nullptr);
}

} // namespace vantor::test
