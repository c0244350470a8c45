// The media bar under the engine's editor: a MIDI file player panel and a recorder panel. Both
// act only through the host's opcode entry point (engineOpcode; tests pass a recording fake) and
// run their file selectors through a chooser (the system dialogs; tests pass their own). Each
// panel object owns its toolkit Panel: deleting the object destroys the panel's window, which
// takes the controls with it. GUI thread only.
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "toolkit/NativeControl.h"
#include "toolkit/NativeControls.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor {

class MainWindow;

// What the label shows for a path: the path up to its last ".", from after its last "\".
std::u16string mediaDisplayName(const std::u16string& path);

// Runs a file selector with `owner` (a native window, may be null) disabled meanwhile; the chosen
// path, empty when cancelled.
using PathChooser = std::function<std::u16string(void* owner)>;

inline constexpr int32_t kMediaLabelId = 0x0FFFFFFF;
inline constexpr const char16_t* kMediaLabelEmpty = u"Empty";
inline constexpr int kMediaBarHeight = 40;

// What both panels are made of: the toolkit Panel they own, a row of image buttons each bound to
// an action, a label, the opcode entry point and a file chooser.
class MediaPanel : public VTR::VTRButtonListener {
public:
    // Deleting the panel's window takes the controls (and their listener entries) with it.
    ~MediaPanel() override;
    MediaPanel(const MediaPanel&) = delete;
    MediaPanel& operator=(const MediaPanel&) = delete;

    // Runs the action of the button with this id; other ids do nothing.
    void buttonClicked(int32_t controlId) override;
    void moveTo(int x, int y);

    VTR::Panel* panel() const { return panel_; }
    VTR::NativeButtonBitmap* button(int32_t id) const;
    VTR::NativeStaticText* label() const { return label_; }

protected:
    MediaPanel(MainWindow* owner, void* parent, int x, int y, int width, EngineOpcodeFunction opcode,
               PathChooser chooser);
    // The next button of the row, its image from the data directory's GUI folder.
    VTR::NativeButtonBitmap* addButton(int32_t id, const std::u16string& dataDirectory, const char16_t* image,
                                       bool enabled, std::function<void()> action);
    void addLabel(int x, bool smallerLayout);

    MainWindow* owner_;
    void* parent_;
    EngineOpcodeFunction opcode_;
    PathChooser chooser_;
    VTR::Panel* panel_ = nullptr;
    VTR::NativeStaticText* label_ = nullptr;

private:
    struct Button {
        int32_t id;
        VTR::NativeButtonBitmap* button;
        std::function<void()> action;
    };
    std::vector<Button> buttons_;
};

class MIDIFilePlayerGUI : public MediaPanel, public VTR::SliderListener {
public:
    static constexpr int32_t kPlayId = 1001, kStopId = 1002, kEjectId = 1003, kRewindId = 1004,
                             kSliderId = 1011;
    static constexpr int kWidth = 465, kSmallerWidth = 390;

    // A panel at (x, y) of `parent` (the main window's native window), images from the data
    // directory's GUI folder.
    MIDIFilePlayerGUI(MainWindow* owner, void* parent, int x, int y, const std::u16string& dataDirectory,
                      bool smallerLayout, EngineOpcodeFunction opcode = nullptr, PathChooser chooser = {});

    // The user moved the slider (0..100): seek there.
    void sliderChanged(int32_t controlId, int value) override;

    void play();
    void stop();
    void eject();
    void rewind();
    // Loads the remembered file again (a new stream); on success the controls are as after eject.
    void reload();
    // The timer's refresh: moves the slider without the panel seeking.
    void showPosition(int value);

    bool playing() const { return playing_; }
    const std::u16string& midiPath() const { return midiPath_; }
    VTR::NativeSlider* slider() const { return slider_; }

private:
    // A load answered 0: loaded and stopped.
    void showLoaded();
    // A load was refused: the player holds no file.
    void showEmpty();

    VTR::NativeSlider* slider_ = nullptr;
    VTR::NativeButtonBitmap* play_ = nullptr;
    VTR::NativeButtonBitmap* stop_ = nullptr;
    VTR::NativeButtonBitmap* eject_ = nullptr;
    VTR::NativeButtonBitmap* rewind_ = nullptr;
    int sliderListenerId_ = 0;
    bool playing_ = false;
    std::u16string midiPath_;
};

class AudioFileRecorderGUI : public MediaPanel {
public:
    static constexpr int32_t kRecordId = 1005, kStopId = 1006, kEjectId = 1007;
    static constexpr int kX = 465, kSmallerX = 390;
    static constexpr int kWidth = 290, kSmallerWidth = 215;
    // The sample width recordings are written with.
    static constexpr int32_t kSampleBits = 32;

    AudioFileRecorderGUI(MainWindow* owner, void* parent, int x, int y, const std::u16string& dataDirectory,
                         bool smallerLayout, EngineOpcodeFunction opcode = nullptr, PathChooser chooser = {});
    // Stops a running recording first.
    ~AudioFileRecorderGUI() override;

    void record();
    void stop();
    void eject();

    bool recording() const { return recording_; }
    const std::u16string& outputPath() const { return outputPath_; }

private:
    VTR::NativeButtonBitmap* record_ = nullptr;
    VTR::NativeButtonBitmap* stop_ = nullptr;
    VTR::NativeButtonBitmap* eject_ = nullptr;
    bool recording_ = false;
    std::u16string outputPath_;
};

} // namespace vantor
