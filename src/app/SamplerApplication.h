// The application object: brings the host up (init), runs the message loop (run) and takes it
// down (exit), every step through engineOpcode as the engine component would.
#pragma once

#include "bridge/EngineOpcodes.h"
#include "toolkit/Application.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vantor::samplerapp {

// Message texts of start-up.
inline constexpr const char* kProductName = "Quorvel";
inline constexpr const char* kAudioStartErrorCaption = "init: Audio Engine Start Error";
inline constexpr const char* kAudioStartErrorText =
    "Check Preferences. Maybe the current driver doesn't support this sample rate";
inline constexpr const char* kFirstUseText =
    "This is the first time you are running this application. Please go "
    "to Tools\\Preferences to set your Audio and MIDI devices.";

class SamplerApplication : public VTR::Application {
public:
    SamplerApplication();
    ~SamplerApplication() override;

    bool init() override;
    bool exit() override;

    // Software\Vantor\QuorvelSA, under HKEY_CURRENT_USER.
    const std::u16string& settingsKeyPath() const { return settingsKey_; }
    uint32_t audioDeviceCount() const { return audioDeviceCount_; }
    uint32_t midiInputCount() const { return midiInputCount_; }

private:
    // True when an audio device is selected. A start without one is refused by design (nothing
    // has chosen a device yet), and a box on every such start would only block the start-up; a
    // start that fails on a chosen device is what the user can fix in the preferences.
    bool audioDeviceChosen();
    // Shows the first-use notice once per user: "firstUse" (default 1) is 1 until it was shown.
    void showFirstUseNotice();

    std::unique_ptr<AudioDeviceRecord[]> audioDevices_;
    uint32_t audioDeviceCount_ = 0;
    std::unique_ptr<MidiDeviceRecord[]> midiInputs_;
    uint32_t midiInputCount_ = 0;
    std::u16string settingsKey_;
};

} // namespace vantor::samplerapp
