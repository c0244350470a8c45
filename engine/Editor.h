// The engine's editor: a panel showing the product name, the patch and its values and the voices
// sounding, with three controls: "Next patch", a view switch that asks the host to resize its
// window (host callback code 8198) and "Audio setup", which asks the host for the audio driver's
// own settings window; a test can also ask for an exact size (an editor size file, see
// Engine::openFile). On Windows it is a child window drawn with GDI
// (Editor_win32.cpp). Elsewhere there is no GUI: the editor is headless (Editor_posix.cpp) but keeps
// the same operations and size logic, so a host runs and tests the same calls everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace brevian {

class Engine;

class Editor {
public:
    static constexpr uint32_t kMagic = 0x45444954; // tells an editor handle from an engine handle
    static constexpr int32_t kWideWidth = 760;
    static constexpr int32_t kCompactWidth = 640;
    static constexpr int32_t kHeight = 300;
    // The sizes an editor size file may ask for.
    static constexpr int32_t kSmallestSide = 64, kLargestSide = 4096;

    // Operation 23: the product description gives the name shown; a missing or unreadable file
    // leaves the default name. Needs the engine it edits.
    static Editor* create(Engine* engine, const char* productPath);
    ~Editor();

    bool isEditor() const { return magic_ == kMagic; }

    // Operation 25: shows the editor inside the host's window.
    bool open(void* parent);
    bool isOpen() const { return window_ != nullptr; }
    void* parent() const { return parent_; }
    void* window() const { return window_; }

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool compact() const { return compact_; }

    // The view switch: change size, then ask the host to fit its window to the new size.
    void toggleView();
    // Takes exactly this size (kSmallestSide..kLargestSide each) and asks the host to fit its
    // window, as the view switch does. False, and nothing changes, for a size out of range.
    bool requestSize(int32_t width, int32_t height);
    // The patch button.
    void nextPatch();
    // The audio setup button.
    void showAudioPanel();

    const std::string& productName() const { return productName_; }
    Engine* engine() const { return engine_; }

    // The engine's values changed: redraw.
    void refresh();
    // GUI tick from the engine: redraw when the voice count shown is out of date.
    void idle();
    // The engine is gone before its editor (a host destroying in the wrong order).
    void forgetEngine() { engine_ = nullptr; }

    // Text lines the panel shows, in order (also what tests read on a headless editor).
    std::string statusLine(int index) const;
    static constexpr int kStatusLines = 4;

private:
    explicit Editor(Engine* engine) : engine_(engine) {}

    // Platform side.
    bool createWindow(void* parent);
    void destroyWindow();
    void resizeWindow();
    void invalidate();
    void applySize(int32_t width, int32_t height);

    uint32_t magic_ = kMagic;
    Engine* engine_;
    std::string productName_ = "Brevian";
    bool compact_ = false;
    int32_t width_ = kWideWidth;
    int32_t height_ = kHeight;
    void* parent_ = nullptr;
    void* window_ = nullptr;
    void* controls_[3] = {nullptr, nullptr, nullptr};
    int shownVoices_ = -1;
};

// The text of the first <Name> element of a product description, or empty.
std::string productNameFrom(const std::string& xml);

} // namespace brevian
