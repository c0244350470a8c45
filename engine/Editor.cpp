#include "Editor.h"

#include "BrevianComponent.h"
#include "Engine.h"

#include <cstdio>

namespace brevian {

std::string productNameFrom(const std::string& xml) {
    const std::size_t open = xml.find("<Name>");
    if (open == std::string::npos) return std::string();
    const std::size_t start = open + 6;
    const std::size_t close = xml.find("</Name>", start);
    if (close == std::string::npos || close - start > 64) return std::string();
    std::string name = xml.substr(start, close - start);
    for (char c : name)
        if (c == '<' || c == '>' || c == '\n' || c == '\r') return std::string();
    return name;
}

Editor* Editor::create(Engine* engine, const char* productPath) {
    if (engine == nullptr || !engine->isEngine()) return nullptr;
    auto* editor = new Editor(engine);
    engine->addEditor(editor);
    std::vector<uint8_t> bytes;
    if (productPath != nullptr && readSmallFile(productPath, kMaxOpenFileSize, bytes)) {
        const std::string name = productNameFrom(std::string(bytes.begin(), bytes.end()));
        if (!name.empty()) editor->productName_ = name;
    }
    return editor;
}

Editor::~Editor() {
    destroyWindow();
    if (engine_ != nullptr) engine_->removeEditor(this);
    magic_ = 0;
}

bool Editor::open(void* parent) {
    if (parent == nullptr) return false;
    if (window_ != nullptr) destroyWindow();
    if (!createWindow(parent)) return false;
    parent_ = parent;
    return true;
}

void Editor::toggleView() {
    compact_ = !compact_;
    applySize(compact_ ? kCompactWidth : kWideWidth, kHeight);
}

bool Editor::requestSize(int32_t width, int32_t height) {
    if (width < kSmallestSide || width > kLargestSide || height < kSmallestSide || height > kLargestSide)
        return false;
    applySize(width, height);
    return true;
}

void Editor::applySize(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    resizeWindow();
    if (engine_ != nullptr) engine_->callHost(BREVIAN_HOST_EDITOR_RESIZED, width_, height_);
}

void Editor::nextPatch() {
    if (engine_ != nullptr) engine_->selectNextPatch(); // the engine calls refresh()
}

void Editor::showAudioPanel() {
    if (engine_ != nullptr) engine_->showAudioPanel(window_ != nullptr ? window_ : parent_);
}

void Editor::refresh() {
    invalidate();
}

void Editor::idle() {
    if (engine_ == nullptr) return;
    if (engine_->activeVoices() != shownVoices_) {
        shownVoices_ = engine_->activeVoices();
        invalidate();
    }
}

std::string Editor::statusLine(int index) const {
    char text[160] = {};
    if (engine_ == nullptr) return index == 0 ? productName_ : std::string();
    const Patch& p = engine_->currentPatch();
    switch (index) {
    case 0:
        std::snprintf(text, sizeof text, "%s  -  %.*s", productName_.c_str(),
                      static_cast<int>(p.nameView().size()), p.nameView().data());
        break;
    case 1:
        std::snprintf(text, sizeof text, "Attack %.3f s   Decay %.2f s   Sustain %.0f %%   Release %.2f s",
                      static_cast<double>(p.attack), static_cast<double>(p.decay),
                      static_cast<double>(p.sustain * 100.f), static_cast<double>(p.release));
        break;
    case 2:
        std::snprintf(text, sizeof text,
                      "Cutoff %.0f Hz   Resonance %.2f   Detune %.1f cents   Volume %.0f %%",
                      static_cast<double>(p.cutoff), static_cast<double>(p.resonance),
                      static_cast<double>(p.detune), static_cast<double>(p.volume * 100.f));
        break;
    case 3:
        std::snprintf(text, sizeof text, "Voices %d / %d   %.0f Hz%s%s%s", engine_->activeVoices(),
                      kVoiceCount, engine_->sampleRate(), engine_->offline() ? "   offline" : "",
                      engine_->hostVersion().empty() ? "" : "   host ", engine_->hostVersion().c_str());
        break;
    default:
        break;
    }
    return text;
}

} // namespace brevian
