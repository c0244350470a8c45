// The C face of the process-wide virtual back end, exported by libquorvel-host.so.
#include "midi/VirtualMidi.h"

#define QUORVEL_VMIDI_EXPORT __attribute__((visibility("default")))

extern "C" {

QUORVEL_VMIDI_EXPORT int quorvel_virtual_midi_add_input(const char* name) {
    return vantor::virtualMidi().addInput(name ? name : "");
}

QUORVEL_VMIDI_EXPORT int quorvel_virtual_midi_add_output(const char* name) {
    return vantor::virtualMidi().addOutput(name ? name : "");
}

QUORVEL_VMIDI_EXPORT int quorvel_virtual_midi_remove(int key) {
    return vantor::virtualMidi().removePort(key) ? 1 : 0;
}

QUORVEL_VMIDI_EXPORT int quorvel_virtual_midi_send_short(int key, uint32_t message) {
    return vantor::virtualMidi().sendShort(key, message) ? 1 : 0;
}

QUORVEL_VMIDI_EXPORT int quorvel_virtual_midi_send_sysex(int key, const uint8_t* data, size_t size) {
    return vantor::virtualMidi().sendSysex(key, data, size) ? 1 : 0;
}

} // extern "C"
