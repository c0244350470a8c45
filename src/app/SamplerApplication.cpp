#include "app/SamplerApplication.h"
#include "app/Registry.h"
#include "app/UserMessage.h"
#include "graph/GraphManager.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "toolkit/Window.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vantor::samplerapp {

namespace {

constexpr const char16_t* kListingAudio = u"listingaudiodevices";
constexpr const char16_t* kListingMidi = u"listingmididevices";

// Record names are fixed arrays that may lack a terminator when the name filled them.
std::u16string recordName(const char* name, size_t capacity) {
    return narrowToWide(std::string(name, strnlen(name, capacity)));
}

} // namespace

std::u16string midiInputValueName(uint32_t index) {
    std::string name = index <= 9 ? "mididevice0" : "mididevice";
    name += std::to_string(index);
    return std::u16string(name.begin(), name.end());
}

SamplerApplication::SamplerApplication() : SamplerApplication(&::engineOpcode) {}

SamplerApplication::SamplerApplication(EngineOpcodeFunction opcode)
    : opcode_(opcode), settingsKey_(u"Software\\Vantor\\QuorvelSA") {}

SamplerApplication::~SamplerApplication() = default;

int32_t SamplerApplication::call(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3) {
    return opcode_(opcode, p1, p2, i1, i2, i3, 0.0f);
}

bool SamplerApplication::init() {
    VTR::Application::init();
    call(VE_ENGINE_INITIALIZE);
    restoreAudioDevice();
    restoreMidiInputs();

    // The instrument is still added and shown when audio does not start: the user can choose
    // another device or rate in the preferences.
    if (call(VE_ENGINE_AUDIO_START) != kEngineOk)
        showMessageBox(kAudioStartErrorCaption, kAudioStartErrorText);

    call(VE_ENGINE_INSTRUMENT_ADD);
    call(VE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 0);
    // Without it the message loop would return at once and the process end without a word.
    if (!VTR::hasOpenWindow()) endWithoutMainWindow();
    showFirstUseNotice();
    return true;
}

void SamplerApplication::endWithoutMainWindow() {
    logError("SamplerApplication: the main window could not be created, ending");
    showMessageBox(kProductName, kMainWindowFailedText);
    call(VE_ENGINE_AUDIO_STOP);
    call(VE_ENGINE_SHUTDOWN);
    VTR::Application::exit();
    exitProcess(kMainWindowFailedStatus);
}

void SamplerApplication::showFirstUseNotice() {
    uint32_t firstUse = 1;
    registryReadDword(kHiveCurrentUser, settingsKey_, u"firstUse", firstUse);
    if (firstUse != 1) return;
    showMessageBox(kProductName, kFirstUseText);
    registryWriteDword(kHiveCurrentUser, settingsKey_, u"firstUse", 0);
}

bool SamplerApplication::exit() {
    saveSettings();
    call(VE_ENGINE_AUDIO_STOP);
    call(VE_ENGINE_SHUTDOWN);
    VTR::Application::exit();
    return true;
}

// ---- settings store ------------------------------------------------------------------------

void SamplerApplication::enterListingGuard(const std::u16string& guard, const char* warning,
                                           const char* text) {
    std::u16string marker;
    if (registryReadString(kHiveCurrentUser, settingsKey_, guard, marker)) {
        logWarning(warning);
        showMessageBox(kProductName, text);
    } else {
        registryWriteString(kHiveCurrentUser, settingsKey_, guard, u"listing");
    }
}

void SamplerApplication::restoreAudioDevice() {
    enterListingGuard(kListingAudio, "Last audio devices listing failed or is not finished yet!",
                      "Last audio devices listing failed or is not finished yet.\n"
                      "Please update your drivers or try removing some audio devices.");
    [&] {
        int32_t count = 0;
        audioDevices_.reset();
        audioDeviceCount_ = 0;
        if (call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &count) != kEngineOk || count <= 0) return;
        audioDevices_ = std::make_unique<AudioDeviceRecord[]>(static_cast<size_t>(count)); // zeroed
        int32_t filled = 0;
        if (call(VE_ENGINE_AUDIODEVICE_LIST, audioDevices_.get(), &filled, count) != kEngineOk) {
            logError("cannot list audio devices!");
            audioDevices_.reset();
            return;
        }
        audioDeviceCount_ = static_cast<uint32_t>(std::clamp(filled, 0, count));
        if (audioDeviceCount_ == 0) return;

        int32_t id = audioDevices_[0].id;
        uint32_t api = static_cast<uint32_t>(-1);
        std::u16string name;
        registryReadDword(kHiveCurrentUser, settingsKey_, u"audiodeviceapi", api);
        registryReadString(kHiveCurrentUser, settingsKey_, u"audiodevice", name);
        if (!name.empty()) {
            int32_t found = -1;
            if (findAudioDevice(static_cast<int32_t>(api), name, found))
                id = found;
            else
                logError("Device :", wideToNarrow(name), " is gone from this system, using default");
        }
        if (call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, id) != kEngineOk) return;

        uint32_t rate = 48000, size = 512, pair = 0;
        registryReadDword(kHiveCurrentUser, settingsKey_, u"samplerate", rate);
        registryReadDword(kHiveCurrentUser, settingsKey_, u"buffersize", size);
        if (call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, static_cast<int32_t>(rate),
                 static_cast<int32_t>(size)) != kEngineOk) {
            logError("cannot set this device to those settings");
            return;
        }
        registryReadDword(kHiveCurrentUser, settingsKey_, u"audiodevicestereopair", pair);
        call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, static_cast<int32_t>(pair));
    }();
    registryDeleteValue(kHiveCurrentUser, settingsKey_, kListingAudio);
}

bool SamplerApplication::fetchMidiInputs() {
    midiInputs_.reset();
    midiInputCount_ = 0;
    int32_t count = 0;
    if (call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiInputs) != kEngineOk || count <= 0)
        return true;
    midiInputs_ = std::make_unique<MidiDeviceRecord[]>(static_cast<size_t>(count)); // zeroed
    int32_t filled = 0;
    if (call(VE_ENGINE_MIDIDEVICE_LIST, midiInputs_.get(), &filled, count, kMidiInputs) != kEngineOk) {
        midiInputs_.reset();
        return false;
    }
    midiInputCount_ = static_cast<uint32_t>(std::clamp(filled, 0, count));
    return true;
}

void SamplerApplication::restoreMidiInputs() {
    enterListingGuard(kListingMidi, "Last MIDI devices listing failed or is not finished yet!",
                      "Last MIDI devices listing failed or is not finished yet.\n"
                      "Please update your drivers or try removing some MIDI devices.");
    [&] {
        if (!fetchMidiInputs()) {
            logError("cannot list MIDI devices!");
            return;
        }
        if (midiInputCount_ == 0) return;
        const int32_t defaultId = midiInputs_[0].id;

        uint32_t remembered = 0;
        if (registryReadDword(kHiveCurrentUser, settingsKey_, u"nbmididevice", remembered)) {
            if (remembered > kMaxRememberedMidiInputs) {
                logWarning("nbmididevice is ", remembered, ", restoring the first ", kMaxRememberedMidiInputs,
                           " MIDI inputs and ignoring ", remembered - kMaxRememberedMidiInputs);
                remembered = kMaxRememberedMidiInputs;
            }
            for (uint32_t i = 0; i < remembered; ++i) {
                std::u16string name;
                registryReadString(kHiveCurrentUser, settingsKey_, midiInputValueName(i), name);
                int32_t id = defaultId;
                int32_t remember = 1;
                if (!name.empty() && !findMidiDevice(name, id)) {
                    logError("Device :", wideToNarrow(name), " is gone from this system, using default");
                    id = defaultId;
                    remember = 0;
                }
                if (call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, id, 1, remember) != kEngineOk)
                    logError("cannot set midi device:", id, "  it is probably already in use.");
            }
            return;
        }

        // First run: take every input that looks like one of ours.
        bool matched = false;
        for (uint32_t i = 0; i < midiInputCount_; ++i) {
            const MidiDeviceRecord& record = midiInputs_[i];
            std::string name(record.name, strnlen(record.name, sizeof(record.name)));
            std::string spaced = name;
            std::replace(spaced.begin(), spaced.end(), '-', ' ');
            std::replace(spaced.begin(), spaced.end(), '_', ' ');
            if (spaced.find(kProductName) == std::string::npos) continue;
            matched = true;
            if (call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, record.id, 1, 1) != kEngineOk)
                logError("cannot set midi device:", record.id);
            logInfo("found a driver whose name matches the ", "Brevian", " product: ", name);
        }
        if (!matched) {
            const int32_t result = call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, defaultId, 1, 0);
            logInfo("did not find a driver whose name matches the ", "Brevian", " product: ", kProductName,
                    " reverting to first available");
            if (result != kEngineOk) logError("cannot set MIDI device: ", defaultId);
        }
    }();
    registryDeleteValue(kHiveCurrentUser, settingsKey_, kListingMidi);
}

void SamplerApplication::saveSettings() {
    int32_t id = -1, rate = 0, size = 0, pair = 0;
    call(VE_ENGINE_AUDIODEVICE_GET, &id);
    const bool haveSettings = call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size) == kEngineOk;
    if (call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair) != kEngineOk) pair = 0;

    std::u16string name;
    if (!audioDeviceName(id, name)) {
        logError("Cannot find audio device name:", id);
        name.clear();
    }
    registryWriteString(kHiveCurrentUser, settingsKey_, u"audiodevice", name);
    registryWriteDword(kHiveCurrentUser, settingsKey_, u"audiodeviceapi",
                       static_cast<uint32_t>(audioApiCode(id)));
    registryWriteDword(kHiveCurrentUser, settingsKey_, u"audiodevicestereopair", static_cast<uint32_t>(pair));

    // Names of devices plugged in since start-up are only in a fresh table.
    if (!fetchMidiInputs()) logError("error trying to get the MIDI Devices list before saving Preferences");
    std::vector<UsedMidiDevice> used;
    if (call(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiInputs) != kEngineOk) used.clear();
    registryWriteDword(kHiveCurrentUser, settingsKey_, u"nbmididevice", static_cast<uint32_t>(used.size()));
    for (size_t i = 0; i < used.size(); ++i) {
        std::u16string midiName;
        if (!midiDeviceName(used[i].id, midiName)) {
            logError("Cannot find midi device name:", used[i].id);
            midiName.clear();
        }
        if (used[i].value != 0)
            registryWriteString(kHiveCurrentUser, settingsKey_, midiInputValueName(static_cast<uint32_t>(i)),
                                midiName);
    }

    // A failed query would store zeros the next start cannot use; keep the stored values then.
    if (haveSettings) {
        registryWriteDword(kHiveCurrentUser, settingsKey_, u"samplerate", static_cast<uint32_t>(rate));
        registryWriteDword(kHiveCurrentUser, settingsKey_, u"buffersize", static_cast<uint32_t>(size));
    }
}

// ---- device-table look-ups -----------------------------------------------------------------

bool SamplerApplication::findAudioDevice(int32_t api, const std::u16string& name, int32_t& id) const {
    for (uint32_t i = 0; i < audioDeviceCount_; ++i) {
        const AudioDeviceRecord& record = audioDevices_[i];
        if (record.api == api && recordName(record.name, sizeof(record.name)) == name) {
            id = record.id;
            return true;
        }
    }
    return false;
}

bool SamplerApplication::audioDeviceName(int32_t id, std::u16string& name) const {
    for (uint32_t i = 0; i < audioDeviceCount_; ++i)
        if (audioDevices_[i].id == id) {
            name = recordName(audioDevices_[i].name, sizeof(audioDevices_[i].name));
            return true;
        }
    return false;
}

int32_t SamplerApplication::audioApiCode(int32_t id) const {
    for (uint32_t i = 0; i < audioDeviceCount_; ++i)
        if (audioDevices_[i].id == id) return audioDevices_[i].api;
    return -1;
}

bool SamplerApplication::midiDeviceName(int32_t id, std::u16string& name) const {
    for (uint32_t i = 0; i < midiInputCount_; ++i)
        if (midiInputs_[i].id == id) {
            name = recordName(midiInputs_[i].name, sizeof(midiInputs_[i].name));
            return true;
        }
    return false;
}

bool SamplerApplication::findMidiDevice(const std::u16string& name, int32_t& id) const {
    for (uint32_t i = 0; i < midiInputCount_; ++i)
        if (recordName(midiInputs_[i].name, sizeof(midiInputs_[i].name)) == name) {
            id = midiInputs_[i].id;
            return true;
        }
    return false;
}

} // namespace vantor::samplerapp
