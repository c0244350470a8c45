// The virtual MIDI back end: MIDI ports that exist only in this process.
//
// A program (or a test) adds and removes input and output ports and feeds open inputs with short
// messages and system-exclusive data from its own thread; the back end calls the input callback
// on that thread, as winmm's callback thread would. Ports are numbered by position like winmm's
// device indexes: removing a port shifts the indexes of the ports behind it. Every port also has
// a key that never changes and is never reused.
//
// It is the platform back end of the native build (and of libquorvel-host.so, whose programs use
// the C functions at the end), and tests on every platform install it with setMidiApi.
//
// Delivery rules (what a test relies on):
// - A message reaches the callback whenever the port is open, started or not: the receiver decides
//   what to keep. The time handed along is the milliseconds since the input was last started
//   (0 before the first start), or the explicit value of sendShortAt.
// - System-exclusive data arrives as a long-data notification without a buffer (this host never
//   hands buffers to the input).
// - Opening a port whose open result was set to non-zero fails with that result; opening an
//   input that is already open fails with "allocated" (4).
#pragma once

#include "midi/MidiApi.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantor {

class VirtualMidiApi : public MidiApi {
public:
    VirtualMidiApi();
    ~VirtualMidiApi() override;
    VirtualMidiApi(const VirtualMidiApi&) = delete;
    VirtualMidiApi& operator=(const VirtualMidiApi&) = delete;

    // Port management (any thread). add* return the port's key (>= 1).
    int addInput(const std::string& name);
    int addOutput(const std::string& name);
    bool removePort(int key); // an open input receives nothing more
    void removeAll();
    // A port whose capabilities query fails (its name reads as unavailable).
    void setQueryFails(int key, bool fails);
    // The result its next opens return (0 = they succeed).
    void setOpenResult(int key, uint32_t result);
    // The result its next starts return (0 = they succeed).
    void setStartResult(int key, uint32_t result);
    // Run by every input start on the starting thread, after the start and outside the back end's
    // lock, with the port's key (a test pauses a start with it). Empty removes it.
    void setStartHook(std::function<void(int key)> hook);
    // The device index of a port now (-1 when gone).
    int deviceIndexOf(int key) const;
    bool isOpen(int key) const;
    bool isStarted(int key) const;

    // Feeding an open input (any thread; one feeding thread per port). False when the port is
    // not an open input.
    bool sendShort(int key, uint32_t message);
    bool sendShortAt(int key, uint32_t message, uint32_t millisSinceStart);
    bool sendSysex(int key, const uint8_t* data, size_t size);
    // Any notification with raw parameters (errors, "more data", unknown ones).
    bool sendRaw(int key, MidiInMessage message, uintptr_t param1, uintptr_t param2);

    // MidiApi
    uint32_t inputCount() override;
    uint32_t outputCount() override;
    uint32_t inputName(uint32_t deviceIndex, std::string& name) override;
    uint32_t outputName(uint32_t deviceIndex, std::string& name) override;
    uint32_t openInput(uint32_t deviceIndex, MidiInCallback callback, void* user, void** handle) override;
    uint32_t startInput(void* handle) override;
    uint32_t stopInput(void* handle) override;
    uint32_t resetInput(void* handle) override;
    uint32_t closeInput(void* handle) override;
    uint32_t openOutput(uint32_t deviceIndex, void** handle) override;
    uint32_t resetOutput(void* handle) override;
    uint32_t closeOutput(void* handle) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The process-wide virtual back end (the native platform back end).
VirtualMidiApi& virtualMidi();

} // namespace vantor

// C functions over the process-wide virtual back end, exported by libquorvel-host.so so that a
// Linux program can create ports and play into them. Keys as above; 0 means failure.
extern "C" {
int quorvel_virtual_midi_add_input(const char* name);
int quorvel_virtual_midi_add_output(const char* name);
int quorvel_virtual_midi_remove(int key);
int quorvel_virtual_midi_send_short(int key, uint32_t message);
int quorvel_virtual_midi_send_sysex(int key, const uint8_t* data, size_t size);
}
