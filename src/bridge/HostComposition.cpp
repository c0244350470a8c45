#include "bridge/HostComposition.h"

#include "devices/AudioDeviceFactory.h"
#include "devices/DeviceManager.h"
#include "devices/MIDIDeviceFactory.h"
#include "graph/Factory.h"
#include "midi/MIDIDevice.h"
#include "midifile/MIDIFilePlayer.h"
#include "offline/OfflineThread.h"
#include "recording/StereoFileOutputModule.h"

#include <memory>
#include <utility>

namespace vantor {

void installCoreHooks() {
    Factory::Hooks hooks;
    hooks.makeAudioDeviceFactory = []() -> std::unique_ptr<BaseFactory> {
        return std::make_unique<AudioDeviceFactory>();
    };
    hooks.midiDeviceFactory = []() -> BaseFactory* { return MIDIDeviceFactory::get(); };
    Factory::setHooks(std::move(hooks));
    MIDIDevice::DeviceManagerHooks midiHooks;
    midiHooks.acquired = [](int32_t portId) {
        if (DeviceManager* manager = DeviceManager::peek()) manager->markMidiAcquired(portId);
    };
    midiHooks.released = [](Instance* context, int32_t portId) {
        if (DeviceManager* manager = DeviceManager::peek()) manager->midiReleased(context, portId);
    };
    MIDIDevice::setDeviceManagerHooks(midiHooks);
    DeviceManager::setOfflineThreadMaker([](Instance* context) -> std::unique_ptr<OfflineRenderThread> {
        return std::make_unique<OfflineThread>(context);
    });
}

MIDIFilePlayer* makeMidiFilePlayer() {
    return new MIDIFilePlayer();
}

StereoFileOutputModule* makeRecorder() {
    return new StereoFileOutputModule();
}

} // namespace vantor
