#include "app/SamplerApplication.h"
#include "app/Registry.h"
#include "app/UserMessage.h"

namespace vantor::samplerapp {

namespace {

int32_t callEngine(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, 0, 0.0f);
}

} // namespace

SamplerApplication::SamplerApplication() : settingsKey_(u"Software\\Vantor\\QuorvelSA") {}

SamplerApplication::~SamplerApplication() = default;

bool SamplerApplication::init() {
    VTR::Application::init();
    callEngine(VE_ENGINE_INITIALIZE);
    // The audio device, its rate, buffer size and stereo pair, and the MIDI inputs are restored
    // from the settings here, under their listing guards.

    if (callEngine(VE_ENGINE_AUDIO_START) != kEngineOk && audioDeviceChosen())
        showMessageBox(kAudioStartErrorCaption, kAudioStartErrorText);

    callEngine(VE_ENGINE_INSTRUMENT_ADD);
    callEngine(VE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 0);
    showFirstUseNotice();
    return true;
}

bool SamplerApplication::audioDeviceChosen() {
    int32_t id = -1;
    return callEngine(VE_ENGINE_AUDIODEVICE_GET, &id) == kEngineOk && id != -1;
}

void SamplerApplication::showFirstUseNotice() {
    uint32_t firstUse = 1;
    registryReadDword(kHiveCurrentUser, settingsKey_, u"firstUse", firstUse);
    if (firstUse != 1) return;
    showMessageBox(kProductName, kFirstUseText);
    registryWriteDword(kHiveCurrentUser, settingsKey_, u"firstUse", 0);
}

bool SamplerApplication::exit() {
    // The devices in use and the stream settings are saved here.
    callEngine(VE_ENGINE_AUDIO_STOP);
    callEngine(VE_ENGINE_SHUTDOWN);
    VTR::Application::exit();
    return true;
}

} // namespace vantor::samplerapp
