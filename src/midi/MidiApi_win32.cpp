// winmm back end of the multimedia-MIDI seam.
#include "midi/MidiApi.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstring>

namespace vantor {

namespace {

// What winmm hands back to the callback as its instance data.
struct WinInput {
    HMIDIIN handle = nullptr;
    MidiInCallback callback = nullptr;
    void* user = nullptr;
};

MidiInMessage translate(UINT message) {
    switch (message) {
    case MIM_OPEN:
        return MidiInMessage::Open;
    case MIM_CLOSE:
        return MidiInMessage::Close;
    case MIM_DATA:
        return MidiInMessage::Data;
    case MIM_LONGDATA:
        return MidiInMessage::LongData;
    case MIM_ERROR:
        return MidiInMessage::Error;
    case MIM_LONGERROR:
        return MidiInMessage::LongError;
    case MIM_MOREDATA:
        return MidiInMessage::MoreData;
    default:
        return MidiInMessage::Other;
    }
}

void CALLBACK winmmInputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) {
    WinInput* input = reinterpret_cast<WinInput*>(instance);
    if (input && input->callback)
        input->callback(input->user, translate(message), static_cast<uintptr_t>(param1),
                        static_cast<uintptr_t>(param2));
}

// szPname is a fixed array that a driver may leave unterminated.
template <size_t N> std::string productName(const char (&name)[N]) {
    return std::string(name, strnlen(name, N));
}

class WinmmMidiApi : public MidiApi {
public:
    uint32_t inputCount() override { return midiInGetNumDevs(); }
    uint32_t outputCount() override { return midiOutGetNumDevs(); }

    uint32_t inputName(uint32_t deviceIndex, std::string& name) override {
        MIDIINCAPSA caps{};
        const MMRESULT r = midiInGetDevCapsA(deviceIndex, &caps, sizeof(caps));
        if (r == MMSYSERR_NOERROR) name = productName(caps.szPname);
        return r;
    }

    uint32_t outputName(uint32_t deviceIndex, std::string& name) override {
        MIDIOUTCAPSA caps{};
        const MMRESULT r = midiOutGetDevCapsA(deviceIndex, &caps, sizeof(caps));
        if (r == MMSYSERR_NOERROR) name = productName(caps.szPname);
        return r;
    }

    uint32_t openInput(uint32_t deviceIndex, MidiInCallback callback, void* user, void** handle) override {
        WinInput* input = new WinInput;
        input->callback = callback;
        input->user = user;
        const MMRESULT r =
            midiInOpen(&input->handle, deviceIndex, reinterpret_cast<DWORD_PTR>(&winmmInputProc),
                       reinterpret_cast<DWORD_PTR>(input), CALLBACK_FUNCTION);
        if (r != MMSYSERR_NOERROR) {
            delete input;
            return r;
        }
        *handle = input;
        return MMSYSERR_NOERROR;
    }

    uint32_t startInput(void* handle) override { return midiInStart(in(handle)); }
    uint32_t stopInput(void* handle) override { return midiInStop(in(handle)); }
    uint32_t resetInput(void* handle) override { return midiInReset(in(handle)); }

    uint32_t closeInput(void* handle) override {
        WinInput* input = static_cast<WinInput*>(handle);
        if (!input) return MMSYSERR_INVALHANDLE;
        const MMRESULT r = midiInClose(input->handle);
        // After a successful close winmm makes no more calls with this instance data.
        if (r == MMSYSERR_NOERROR) delete input;
        return r;
    }

    uint32_t openOutput(uint32_t deviceIndex, void** handle) override {
        HMIDIOUT out = nullptr;
        const MMRESULT r = midiOutOpen(&out, deviceIndex, 0, 0, CALLBACK_NULL);
        if (r == MMSYSERR_NOERROR) *handle = out;
        return r;
    }
    uint32_t resetOutput(void* handle) override { return midiOutReset(static_cast<HMIDIOUT>(handle)); }
    uint32_t closeOutput(void* handle) override { return midiOutClose(static_cast<HMIDIOUT>(handle)); }

private:
    static HMIDIIN in(void* handle) {
        WinInput* input = static_cast<WinInput*>(handle);
        return input ? input->handle : nullptr;
    }
};

} // namespace

MidiApi& platformMidiApi() {
    static WinmmMidiApi api;
    return api;
}

} // namespace vantor
