#include "ui/RenderOffline.h"

#include "log/TextConv.h"
#include "offline/RenderSequence.h"

#include <cmath>
#include <cstdio>

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

void RenderOffline::midiRefused(const std::u16string& path) {
    view_.showMessage(u"\"" + path + u"\" is not a MIDI file (or cannot be read).");
}

bool RenderOffline::midiChosen(const std::u16string& path) {
    double seconds = 0.0;
    if (!loadRenderFile(opcode_, wideToNarrow(path), seconds)) {
        midiRefused(path);
        return false;
    }
    midiPath_ = path;
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
    // The player holds whatever was loaded last (going back online after a render reloads the
    // media bar's file): the file this dialog shows is loaded again.
    double seconds = 0.0;
    if (!loadRenderFile(opcode_, wideToNarrow(midiPath_), seconds)) {
        midiRefused(midiPath_);
        midiLoaded_ = false;
        view_.setLabel(kMidiLabel, u"No selection");
        return false;
    }
    if (seconds > kAskAboveSeconds) {
        int32_t rate = 0, block = 0;
        opcode_(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &block, 0, 0, 0, 0.0f);
        char size[64];
        std::snprintf(size, sizeof size, "%.1f GB", seconds * rate * 8.0 / 1e9);
        const std::string text = "\"" + wideToNarrow(displayName(midiPath_)) + "\" plays for " +
                                 clockText(seconds) + "; its WAV file will take about " + size +
                                 ". Render it?";
        if (!view_.askYesNo(narrowToWide(text))) {
            view_.enableRender(true);
            return false;
        }
    }
    switch (startRendering(opcode_, wideToNarrow(outputPath_))) {
    case RenderStart::Started:
        break;
    case RenderStart::OfflineRefused:
        return false; // Render stays off until a file is chosen again
    case RenderStart::FileRefused: {
        const RecordingReport report = recordingReport(opcode_);
        view_.showMessage(
            u"The audio file \"" + outputPath_ + u"\" cannot be created" +
            (report.error.empty() ? std::u16string() : u" (" + narrowToWide(report.error) + u")") +
            u". Nothing was rendered; please choose another file.");
        outputChosen_ = false;
        view_.setLabel(kAudioLabel, u"No selection");
        return false;
    }
    case RenderStart::StartRefused:
        view_.showMessage(u"The render could not be started (see the log).");
        view_.enableRender(true);
        return false;
    }
    rendering_ = true;
    // With Cancel: a long file, or one whose end is never reached, must not hold the program.
    progress_ = view_.makeProgress(u"Rendering", 100, true, true);
    view_.startPollTimer();
    return true;
}

void RenderOffline::poll() {
    // While the Cancel question is open this runs inside the progress window's own handler (the
    // question's modal loop dispatches the timer): the window stays until the answer is in, and
    // the next poll finishes, whether the render ended meanwhile or was cancelled.
    if (!rendering_ || (progress_ && progress_->asking())) return;
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
    finishRendering(opcode_);
    rendering_ = false;
    // The labels keep showing the files just rendered; Render stays off until a "..." button
    // delivers a file again, and the next render then renders the files the labels show.
    view_.enableRender(false);
}

} // namespace vantor
