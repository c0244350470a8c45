#include "ui/RenderOffline.h"

#include "log/TextConv.h"

namespace vantor {

RenderOffline::RenderOffline(EngineOpcodeFunction opcode, RenderOfflineView& view) : opcode_(opcode), view_(view) {
    bool playing = false;
    wasPlaying_ = send(VE_ENGINE_AUDIO_ISPLAYING, &playing) == kEngineOk && playing;
    if (wasPlaying_) send(VE_ENGINE_AUDIO_STOP);
}

RenderOffline::~RenderOffline() {
    // Closing is not offered while a render runs; should it happen anyway, the instance goes back
    // online before audio restarts.
    if (rendering_) finish();
    if (wasPlaying_) send(VE_ENGINE_AUDIO_START);
}

int32_t RenderOffline::send(int32_t opcode, void* p1, int32_t i1, int32_t i2, float f) {
    return opcode_(opcode, p1, nullptr, i1, i2, 0, f);
}

std::u16string RenderOffline::displayName(const std::u16string& path) {
    std::u16string stem = path;
    const size_t dot = stem.rfind(u'.');
    if (dot != std::u16string::npos) stem.resize(dot);
    const size_t slash = stem.rfind(u'\\');
    return slash == std::u16string::npos ? stem : stem.substr(slash + 1);
}

bool RenderOffline::midiChosen(const std::u16string& path) {
    std::string utf8 = wideToNarrow(path);
    if (send(VE_ENGINE_MIDI_LOAD, utf8.data()) != kEngineOk) return false;
    view_.setLabel(kMidiLabel, displayName(path));
    midiLoaded_ = true;
    view_.enableRender(renderEnabled());
    return true;
}

void RenderOffline::outputChosen(const std::u16string& path) {
    outputPath_ = path;
    view_.setLabel(kAudioLabel, displayName(path));
    outputChosen_ = true;
    view_.enableRender(renderEnabled());
}

bool RenderOffline::startRender() {
    if (!renderEnabled()) return false;
    view_.enableRender(false);
    if (send(VE_ENGINE_OFFLINE_SET, nullptr, 1) != kEngineOk) return false;
    std::string wav = wideToNarrow(outputPath_);
    send(VE_ENGINE_RECORDING_FILE_SET, wav.data(), 0, 32);
    send(VE_ENGINE_RECORDING_START);
    send(VE_ENGINE_MIDI_PLAY);
    send(VE_ENGINE_AUDIO_START);
    rendering_ = true;
    // With Cancel: a long file, or one whose end is never reached, must not hold the program.
    progress_ = view_.makeProgress(u"Rendering", 100, true, true);
    view_.startPollTimer();
    return true;
}

void RenderOffline::poll() {
    if (!rendering_) return;
    double position = 0.0;
    send(VE_ENGINE_MIDI_POSITION_GET, &position);
    if (position == 1.0) {
        finish();
        return;
    }
    const bool goOn = !progress_ || progress_->setProgress(static_cast<uint32_t>(position * 100.0));
    // A confirmed cancel ends the render at once; the recording stop closes a valid, shorter file.
    if (!goOn) finish();
}

void RenderOffline::finish() {
    progress_.reset();
    view_.stopPollTimer();
    send(VE_ENGINE_MIDI_STOP);
    send(VE_ENGINE_MIDI_SEEK, nullptr, 0, 0, 0.0f);
    send(VE_ENGINE_RECORDING_STOP);
    send(VE_ENGINE_AUDIO_STOP);
    send(VE_ENGINE_OFFLINE_SET, nullptr, 0);
    view_.setLabel(kMidiLabel, u"No selection");
    view_.setLabel(kAudioLabel, u"No selection");
    rendering_ = false;
    // Render stays off until a "..." button delivers a file again.
    view_.enableRender(false);
}

} // namespace vantor
