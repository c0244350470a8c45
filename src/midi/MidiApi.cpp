#include "midi/MidiApi.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<MidiApi*> installed{nullptr};
} // namespace

MidiApi& midiApi() {
    MidiApi* api = installed.load(std::memory_order_acquire);
    return api ? *api : platformMidiApi();
}

void setMidiApi(MidiApi* api) {
    installed.store(api, std::memory_order_release);
}

} // namespace vantor
