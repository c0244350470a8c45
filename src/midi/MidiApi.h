// The multimedia-MIDI seam: the few port calls the MIDI port table and MIDIDriver make.
//
// Windows: winmm (midiIn*/midiOut*); the input callback runs on winmm's own thread. Elsewhere,
// and in tests on every platform, the virtual back end (midi/VirtualMidi.h) stands in: its ports
// are added, removed and fed by a program or a test, and it calls the input callback on the
// thread that feeds it, just as winmm's callback thread would.
//
// Result codes are the multimedia system's raw numbers (0 = success); the virtual back end uses
// the same numbers. Handles are opaque.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The input notifications the callback can receive (winmm's MIM_ messages).
enum class MidiInMessage : uint32_t {
    Open,      // MIM_OPEN
    Close,     // MIM_CLOSE
    Data,      // MIM_DATA: param1 = packed short message, param2 = ms since the input was started
    LongData,  // MIM_LONGDATA: param1 = the returned long buffer (never given by this host)
    Error,     // MIM_ERROR: param1 = the invalid message
    LongError, // MIM_LONGERROR
    MoreData,  // MIM_MOREDATA: as Data, the driver is falling behind
    Other,     // anything else
};

// Called on the back end's delivery thread; must neither block nor allocate for Data.
using MidiInCallback = void (*)(void* user, MidiInMessage message, uintptr_t param1, uintptr_t param2);

// The multimedia system's result codes used by the virtual back end and the tests.
namespace midiresult {
constexpr uint32_t kOk = 0;            // MMSYSERR_NOERROR
constexpr uint32_t kError = 1;         // MMSYSERR_ERROR
constexpr uint32_t kBadDeviceId = 2;   // MMSYSERR_BADDEVICEID
constexpr uint32_t kAllocated = 4;     // MMSYSERR_ALLOCATED
constexpr uint32_t kInvalidHandle = 5; // MMSYSERR_INVALHANDLE
constexpr uint32_t kNoDriver = 6;      // MMSYSERR_NODRIVER
} // namespace midiresult

class MidiApi {
public:
    virtual ~MidiApi() = default;

    virtual uint32_t inputCount() = 0;
    virtual uint32_t outputCount() = 0;
    // The port's product name (capabilities query); a non-zero result leaves name unchanged.
    virtual uint32_t inputName(uint32_t deviceIndex, std::string& name) = 0;
    virtual uint32_t outputName(uint32_t deviceIndex, std::string& name) = 0;

    // Opens an input with a function callback; user is handed back to every call of it. No call of
    // the callback is made after closeInput returns.
    virtual uint32_t openInput(uint32_t deviceIndex, MidiInCallback callback, void* user, void** handle) = 0;
    virtual uint32_t startInput(void* handle) = 0;
    virtual uint32_t stopInput(void* handle) = 0;
    virtual uint32_t resetInput(void* handle) = 0;
    virtual uint32_t closeInput(void* handle) = 0;

    // Outputs are opened without a callback; nothing is ever sent to them.
    virtual uint32_t openOutput(uint32_t deviceIndex, void** handle) = 0;
    virtual uint32_t resetOutput(void* handle) = 0;
    virtual uint32_t closeOutput(void* handle) = 0;
};

// The back end in use: the one set with setMidiApi, else the platform's (winmm on Windows, the
// process-wide virtual back end elsewhere).
MidiApi& midiApi();
// Not owned; nullptr restores the platform's back end. Set it while no port is open.
void setMidiApi(MidiApi* api);
// This platform's own back end.
MidiApi& platformMidiApi();

} // namespace vantor
