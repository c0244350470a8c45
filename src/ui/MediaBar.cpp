#include "ui/MediaBar.h"

#include "app/UserMessage.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "toolkit/FileSelector.h"
#include "util/ProductNames.h"

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

// --- MediaPanel -----------------------------------------------------------------------------------

MediaPanel::MediaPanel(MainWindow* owner, void* parent, int x, int y, int width, EngineOpcodeFunction opcode,
                       PathChooser chooser)
    : owner_(owner), parent_(parent), opcode_(opcode ? opcode : &engineOpcode), chooser_(std::move(chooser)) {
    panel_ = new VTR::Panel(owner_, parent_, x, y, width, kMediaBarHeight, 0, u"panelname");
}

MediaPanel::~MediaPanel() {
    delete panel_;
}

VTR::NativeButtonBitmap* MediaPanel::addButton(int32_t id, const std::u16string& dataDirectory,
                                               const char16_t* image, bool enabled, std::function<void()> action) {
    const int index = static_cast<int>(buttons_.size());
    auto* button = new VTR::NativeButtonBitmap(owner_, panel_->getHandle(), kFirstButtonX + index * kButtonStep,
                                               kButtonTop, kButtonSize, kButtonSize, u"", false, u"Push", id,
                                               imagePath(dataDirectory, image));
    button->addListener(this);
    button->setEnabled(enabled);
    buttons_.push_back({id, button, std::move(action)});
    return button;
}

void MediaPanel::addLabel(int x, bool smallerLayout) {
    label_ = new VTR::NativeStaticText(owner_, panel_->getHandle(), x, kLabelTop,
                                       smallerLayout ? kSmallerLabelWidth : kLabelWidth, kLabelHeight,
                                       kMediaLabelEmpty, u"Label", kMediaLabelId);
}

VTR::NativeButtonBitmap* MediaPanel::button(int32_t id) const {
    for (const Button& b : buttons_)
        if (b.id == id) return b.button;
    return nullptr;
}

void MediaPanel::buttonClicked(int32_t controlId) {
    for (const Button& b : buttons_)
        if (b.id == controlId) {
            b.action();
            return;
        }
}

void MediaPanel::moveTo(int x, int y) {
    panel_->setPosition(x, y);
}

// --- MIDIFilePlayerGUI ----------------------------------------------------------------------------

MIDIFilePlayerGUI::MIDIFilePlayerGUI(MainWindow* owner, void* parent, int x, int y,
                                     const std::u16string& dataDirectory, bool smallerLayout,
                                     EngineOpcodeFunction opcode, PathChooser chooser)
    : MediaPanel(owner, parent, x, y, smallerLayout ? kSmallerWidth : kWidth, opcode,
                 chooser ? std::move(chooser) : PathChooser(&VTR::selectMidiFile)) {
    play_ = addButton(kPlayId, dataDirectory, u"media-playback-start22.png", false, [this] { play(); });
    stop_ = addButton(kStopId, dataDirectory, u"media-playback-stop22.png", false, [this] { stop(); });
    eject_ = addButton(kEjectId, dataDirectory, u"media-eject22.png", true, [this] { eject(); });
    rewind_ = addButton(kRewindId, dataDirectory, u"media-skip-backward22.png", false, [this] { rewind(); });
    slider_ = new VTR::NativeSlider(owner_, panel_->getHandle(), kSliderX, kButtonTop, kSliderWidth,
                                    kButtonSize, 0, 100, 0, u"Slider", kSliderId);
    sliderListenerId_ = slider_->addListener(this);
    slider_->setEnabled(false);
    addLabel(kPlayerLabelX, smallerLayout);
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
    if (opcode_(VE_ENGINE_MIDI_LOAD, const_cast<char*>(utf8.c_str()), nullptr, 0, 0, 0, 0.0f) == kEngineOk) {
        showLoaded();
        return;
    }
    // The player has no file now: the panel says so instead of playing nothing.
    showEmpty();
    showMessageBox(kProductName, "\"" + utf8 + "\" is not a MIDI file (or cannot be read).");
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

void MIDIFilePlayerGUI::showEmpty() {
    play_->setEnabled(false);
    stop_->setEnabled(false);
    rewind_->setEnabled(false);
    slider_->setEnabled(false);
    slider_->setValue(0, sliderListenerId_);
    playing_ = false;
    label_->setText(kMediaLabelEmpty);
}

void MIDIFilePlayerGUI::showPosition(int value) {
    slider_->setValue(value, sliderListenerId_);
}

// --- AudioFileRecorderGUI -------------------------------------------------------------------------

AudioFileRecorderGUI::AudioFileRecorderGUI(MainWindow* owner, void* parent, int x, int y,
                                           const std::u16string& dataDirectory, bool smallerLayout,
                                           EngineOpcodeFunction opcode, PathChooser chooser)
    : MediaPanel(owner, parent, x, y, smallerLayout ? kSmallerWidth : kWidth, opcode,
                 chooser ? std::move(chooser) : PathChooser(&VTR::selectRecordingFile)) {
    record_ = addButton(kRecordId, dataDirectory, u"media-record22.png", false, [this] { record(); });
    stop_ = addButton(kStopId, dataDirectory, u"media-playback-stop22.png", false, [this] { stop(); });
    eject_ = addButton(kEjectId, dataDirectory, u"media-eject22.png", true, [this] { eject(); });
    addLabel(kRecorderLabelX, smallerLayout);
}

AudioFileRecorderGUI::~AudioFileRecorderGUI() {
    if (recording_) stop(); // before the panel (and the buttons stop() changes) goes
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

} // namespace vantor
