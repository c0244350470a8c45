#include "ui/MediaBar.h"

#include "log/Log.h"
#include "log/TextConv.h"
#include "toolkit/FileSelector.h"

#include <utility>

namespace vantor {

namespace {

constexpr int kButtonSize = 24;
constexpr int kButtonTop = 8;
constexpr int kFirstButtonX = 10;
constexpr int kButtonStep = 30; // 24 wide, 6 apart
constexpr int kLabelTop = 10;
constexpr int kLabelHeight = 20;
constexpr int kLabelWidth = 175, kSmallerLabelWidth = 100;
constexpr int kSliderX = 129, kSliderWidth = 150;
constexpr int kPlayerLabelX = 284;
constexpr int kRecorderLabelX = 105;

std::u16string imagePath(const std::u16string& dataDirectory, const char16_t* name) {
    return dataDirectory + u"\\GUI\\" + name;
}

VTR::NativeButtonBitmap* makeButton(MainWindow* owner, VTR::Panel* panel, int index, int32_t id,
                                    const std::u16string& dataDirectory, const char16_t* image,
                                    VTR::VTRButtonListener* listener, bool enabled) {
    auto* button = new VTR::NativeButtonBitmap(owner, panel->getHandle(), kFirstButtonX + index * kButtonStep,
                                               kButtonTop, kButtonSize, kButtonSize, u"", false, u"Push", id,
                                               imagePath(dataDirectory, image));
    button->addListener(listener);
    button->setEnabled(enabled);
    return button;
}

// Opcodes with a text argument get it as UTF-8; a path that does not convert is not sent.
bool toUtf8(const std::u16string& path, std::string& utf8) {
    if (tryWideToNarrow(path, utf8)) return true;
    logError("media bar: the path cannot be handed to the host: ", wideToNarrow(path));
    return false;
}

} // namespace

std::u16string mediaDisplayName(const std::u16string& path) {
    const size_t dot = path.rfind(u'.');
    const std::u16string stem = dot == std::u16string::npos ? path : path.substr(0, dot);
    const size_t slash = stem.rfind(u'\\');
    return slash == std::u16string::npos ? stem : stem.substr(slash + 1);
}

// --- MIDIFilePlayerGUI ----------------------------------------------------------------------------

MIDIFilePlayerGUI::MIDIFilePlayerGUI(MainWindow* owner, void* parent, int x, int y,
                                     const std::u16string& dataDirectory, bool smallerLayout,
                                     EngineOpcodeFunction opcode, PathChooser chooser)
    : owner_(owner), parent_(parent), opcode_(opcode ? opcode : &engineOpcode),
      chooser_(chooser ? std::move(chooser) : PathChooser(&VTR::selectMidiFile)) {
    panel_ = new VTR::Panel(owner_, parent_, x, y, smallerLayout ? kSmallerWidth : kWidth, kMediaBarHeight, 0,
                            u"panelname");
    play_ = makeButton(owner_, panel_, 0, kPlayId, dataDirectory, u"media-playback-start22.png", this, false);
    stop_ = makeButton(owner_, panel_, 1, kStopId, dataDirectory, u"media-playback-stop22.png", this, false);
    eject_ = makeButton(owner_, panel_, 2, kEjectId, dataDirectory, u"media-eject22.png", this, true);
    rewind_ =
        makeButton(owner_, panel_, 3, kRewindId, dataDirectory, u"media-skip-backward22.png", this, false);
    slider_ = new VTR::NativeSlider(owner_, panel_->getHandle(), kSliderX, kButtonTop, kSliderWidth,
                                    kButtonSize, 0, 100, 0, u"Slider", kSliderId);
    sliderListenerId_ = slider_->addListener(this);
    slider_->setEnabled(false);
    label_ = new VTR::NativeStaticText(owner_, panel_->getHandle(), kPlayerLabelX, kLabelTop,
                                       smallerLayout ? kSmallerLabelWidth : kLabelWidth, kLabelHeight,
                                       kMediaLabelEmpty, u"Label", kMediaLabelId);
}

MIDIFilePlayerGUI::~MIDIFilePlayerGUI() {
    // The panel's window takes the controls (and their listener entries) with it.
    delete panel_;
}

VTR::NativeButtonBitmap* MIDIFilePlayerGUI::button(int32_t id) const {
    switch (id) {
    case kPlayId:
        return play_;
    case kStopId:
        return stop_;
    case kEjectId:
        return eject_;
    case kRewindId:
        return rewind_;
    default:
        return nullptr;
    }
}

void MIDIFilePlayerGUI::buttonClicked(int32_t controlId) {
    switch (controlId) {
    case kPlayId:
        play();
        break;
    case kStopId:
        stop();
        break;
    case kEjectId:
        eject();
        break;
    case kRewindId:
        rewind();
        break;
    default:
        break;
    }
}

void MIDIFilePlayerGUI::sliderChanged(int32_t /*controlId*/, int value) {
    opcode_(VE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, static_cast<float>(value) / 100.0f);
}

void MIDIFilePlayerGUI::play() {
    opcode_(VE_ENGINE_MIDI_PLAY, nullptr, nullptr, 0, 0, 0, 0.0f);
    play_->setEnabled(false);
    stop_->setEnabled(true);
    playing_ = true;
}

void MIDIFilePlayerGUI::stop() {
    opcode_(VE_ENGINE_MIDI_STOP, nullptr, nullptr, 0, 0, 0, 0.0f);
    play_->setEnabled(true);
    stop_->setEnabled(false);
    playing_ = false;
}

void MIDIFilePlayerGUI::eject() {
    const std::u16string path = chooser_(parent_);
    if (path.empty()) return;
    midiPath_ = path; // kept even when the load fails: the next reload tries it again
    std::string utf8;
    if (!toUtf8(path, utf8)) return;
    if (opcode_(VE_ENGINE_MIDI_LOAD, const_cast<char*>(utf8.c_str()), nullptr, 0, 0, 0, 0.0f) == kEngineOk)
        showLoaded();
}

void MIDIFilePlayerGUI::rewind() {
    opcode_(VE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.0f);
}

void MIDIFilePlayerGUI::reload() {
    if (midiPath_.empty()) return;
    std::string utf8;
    if (!toUtf8(midiPath_, utf8)) return;
    if (opcode_(VE_ENGINE_MIDI_LOAD, const_cast<char*>(utf8.c_str()), nullptr, 0, 0, 0, 0.0f) == kEngineOk)
        showLoaded();
}

void MIDIFilePlayerGUI::showLoaded() {
    play_->setEnabled(true);
    rewind_->setEnabled(true);
    slider_->setEnabled(true);
    slider_->setValue(0, sliderListenerId_);
    stop_->setEnabled(false);
    playing_ = false;
    label_->setText(mediaDisplayName(midiPath_));
}

void MIDIFilePlayerGUI::showPosition(int value) {
    slider_->setValue(value, sliderListenerId_);
}

void MIDIFilePlayerGUI::moveTo(int x, int y) {
    panel_->setPosition(x, y);
}

// --- AudioFileRecorderGUI -------------------------------------------------------------------------

AudioFileRecorderGUI::AudioFileRecorderGUI(MainWindow* owner, void* parent, int x, int y,
                                           const std::u16string& dataDirectory, bool smallerLayout,
                                           EngineOpcodeFunction opcode, PathChooser chooser)
    : owner_(owner), parent_(parent), opcode_(opcode ? opcode : &engineOpcode),
      chooser_(chooser ? std::move(chooser) : PathChooser(&VTR::selectRecordingFile)) {
    panel_ = new VTR::Panel(owner_, parent_, x, y, smallerLayout ? kSmallerWidth : kWidth, kMediaBarHeight, 0,
                            u"panelname");
    record_ = makeButton(owner_, panel_, 0, kRecordId, dataDirectory, u"media-record22.png", this, false);
    stop_ = makeButton(owner_, panel_, 1, kStopId, dataDirectory, u"media-playback-stop22.png", this, false);
    eject_ = makeButton(owner_, panel_, 2, kEjectId, dataDirectory, u"media-eject22.png", this, true);
    label_ = new VTR::NativeStaticText(owner_, panel_->getHandle(), kRecorderLabelX, kLabelTop,
                                       smallerLayout ? kSmallerLabelWidth : kLabelWidth, kLabelHeight,
                                       kMediaLabelEmpty, u"Label", kMediaLabelId);
}

AudioFileRecorderGUI::~AudioFileRecorderGUI() {
    if (recording_) stop();
    delete panel_;
}

VTR::NativeButtonBitmap* AudioFileRecorderGUI::button(int32_t id) const {
    switch (id) {
    case kRecordId:
        return record_;
    case kStopId:
        return stop_;
    case kEjectId:
        return eject_;
    default:
        return nullptr;
    }
}

void AudioFileRecorderGUI::buttonClicked(int32_t controlId) {
    switch (controlId) {
    case kRecordId:
        record();
        break;
    case kStopId:
        stop();
        break;
    case kEjectId:
        eject();
        break;
    default:
        break;
    }
}

void AudioFileRecorderGUI::eject() {
    if (recording_) return; // eject is disabled while recording: the running take keeps its file
    const std::u16string path = chooser_(parent_);
    if (path.empty()) return;
    record_->setEnabled(true);
    stop_->setEnabled(false);
    recording_ = false;
    outputPath_ = path;
    label_->setText(mediaDisplayName(path));
}

void AudioFileRecorderGUI::record() {
    if (recording_ || outputPath_.empty()) return; // every recording goes to a newly chosen file
    std::string utf8;
    if (!toUtf8(outputPath_, utf8)) return;
    // Only a recording the host accepted shows as one: a file it cannot create or a start it
    // refuses leaves the panel ready to try again (the recorder has told the user why).
    if (opcode_(VE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(utf8.c_str()), nullptr, 0, kSampleBits, 0,
                0.0f) != kEngineOk) {
        logError("media bar: the recording file was refused: ", utf8);
        return;
    }
    if (opcode_(VE_ENGINE_RECORDING_START, nullptr, nullptr, 0, 0, 0, 0.0f) != kEngineOk) {
        logError("media bar: the recording did not start");
        return;
    }
    record_->setEnabled(false);
    stop_->setEnabled(true);
    eject_->setEnabled(false);
    recording_ = true;
}

void AudioFileRecorderGUI::stop() {
    opcode_(VE_ENGINE_RECORDING_STOP, nullptr, nullptr, 0, 0, 0, 0.0f);
    outputPath_.clear();
    stop_->setEnabled(false);
    eject_->setEnabled(true);
    recording_ = false;
    label_->setText(kMediaLabelEmpty);
}

void AudioFileRecorderGUI::moveTo(int x, int y) {
    panel_->setPosition(x, y);
}

} // namespace vantor
