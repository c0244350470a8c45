// The application object: brings the host up (init), runs the message loop (run) and takes it
// down (exit), every step through engineOpcode as the engine component would.
#pragma once

#include "app/AudioStartMessages.h"
#include "engineapi/EngineOpcodes.h"
#include "toolkit/Application.h"
#include "util/ProductNames.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantor::samplerapp {

// Message texts of start-up.
using vantor::kAudioStartErrorCaption;
using vantor::kAudioStartErrorText;
inline constexpr const char* kFirstUseText =
    "This is the first time you are running this application. Please go "
    "to Tools\\Preferences to set your Audio and MIDI devices.";

inline constexpr const char* kMainWindowFailedText =
    "The main window could not be created. Quorvel will close.";
// The process's exit status when it ends for want of a main window.
inline constexpr int kMainWindowFailedStatus = 1;

// The most remembered MIDI inputs a start-up restores. "nbmididevice" is outside input: a larger
// count is cut to this and the rest is logged as ignored.
inline constexpr uint32_t kMaxRememberedMidiInputs = 64;

// The value name of remembered MIDI input `index`: mididevice00 .. mididevice09, mididevice10 ...
std::u16string midiInputValueName(uint32_t index);

class SamplerApplication : public VTR::Application {
public:
    SamplerApplication();
    // Calls `opcode` instead of the host's engineOpcode (tests drive the settings with a fake).
    explicit SamplerApplication(EngineOpcodeFunction opcode);
    ~SamplerApplication() override;

    bool init() override;
    bool exit() override;

    // Software\Vantor\QuorvelSA, under HKEY_CURRENT_USER.
    const std::u16string& settingsKeyPath() const { return settingsKey_; }
    uint32_t audioDeviceCount() const { return audioDeviceCount_; }
    uint32_t midiInputCount() const { return midiInputCount_; }
    const AudioDeviceRecord* audioDevices() const { return audioDevices_.get(); }
    const MidiDeviceRecord* midiInputs() const { return midiInputs_.get(); }

    // The settings store: restore the audio device and the MIDI inputs at start-up (each under
    // its listing guard), save them at exit. init and exit call these; public for tests.
    void restoreAudioDevice();
    void restoreMidiInputs();
    void saveSettings();

    // Device-table look-ups; names compare exactly (case-sensitive) as UTF-16.
    bool findAudioDevice(int32_t api, const std::u16string& name, int32_t& id) const;
    bool audioDeviceName(int32_t id, std::u16string& name) const;
    int32_t audioApiCode(int32_t id) const; // -1 when no record has that id
    bool midiDeviceName(int32_t id, std::u16string& name) const;
    bool findMidiDevice(const std::u16string& name, int32_t& id) const;

private:
    int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
                 int32_t i3 = 0);
    // Fetches the MIDI input table (count, then fill); false when the fill failed.
    bool fetchMidiInputs();
    // Reads a listing guard: warns and shows the box when a previous enumeration never finished,
    // else sets the guard.
    void enterListingGuard(const std::u16string& guard, const char* warning, const char* text);

    // Tells the user and the log that there is no main window, takes the host down in order (the
    // stored settings untouched) and ends the process with kMainWindowFailedStatus.
    [[noreturn]] void endWithoutMainWindow();
    // Shows the first-use notice once per user: "firstUse" (default 1) is 1 until it was shown.
    void showFirstUseNotice();

    EngineOpcodeFunction opcode_;
    std::unique_ptr<AudioDeviceRecord[]> audioDevices_;
    uint32_t audioDeviceCount_ = 0;
    std::unique_ptr<MidiDeviceRecord[]> midiInputs_;
    uint32_t midiInputCount_ = 0;
    std::u16string settingsKey_;
};

} // namespace vantor::samplerapp
