// The host's one top-level window, around the engine's editor: the menu bar, the media bar under
// the editor, and the 16 ms idle tick. The engine module asks for it through the editor-host
// factory that the application installs at start-up; closing it ends the application's message
// loop. GUI thread only.
#pragma once

#include "bridge/EditorHost.h"
#include "engineapi/EngineOpcodes.h"
#include "toolkit/Window.h"
#include "ui/MediaBar.h"

#include <functional>
#include <string>
#include <vector>

namespace vantor {

class SMPLModule;

// Command ids of the menu bar.
enum MainWindowCommand : int {
    kCommandPreferences = 2001,
    kCommandRenderOffline = 2002,
    kCommandLoad = 4001,
    kCommandSaveAs = 4002,
    kCommandSaveAsDefault = 4003,
};

struct MenuItem {
    const char16_t* text;
    int id;
};
struct MenuPopup {
    const char16_t* title;
    std::vector<MenuItem> items;
};

// What the main window reaches outside itself; tests put their own in place (an empty member
// keeps the real one).
struct MainWindowServices {
    EngineOpcodeFunction opcode = nullptr;
    PathChooser midiFileChooser;
    PathChooser recordingFileChooser;
    // The state file for "Load" (save false) and "Save as..." (save true); empty when cancelled.
    std::function<std::u16string(void* owner, bool save)> stateFileChooser;
    // Runs the preferences dialog over `owner` (the main window).
    std::function<void(void* owner)> preferences;
};

class MainWindow : public VTR::Window, public EditorHost {
public:
    static constexpr int kIdleTimerId = 1001;
    static constexpr int kIdleTimerMilliseconds = 16;
    // Editors narrower than this get the smaller media-bar layout.
    static constexpr int kSmallerLayoutBelow = 755;
    static constexpr int kMediaBarHeight = vantor::kMediaBarHeight;
    static constexpr int kIconResource = 102;
    static constexpr const char16_t* kTitle = u"Vantor Quorvel";
    // The slider follows the player on every 21st tick (about every 336 ms).
    static constexpr int kTicksPerRefresh = 20;

    // The menu bar, in order.
    static const std::vector<MenuPopup>& menuBar();
    // Installed for the windows created from now on; an empty record restores the real services.
    static void setServices(MainWindowServices services);

    // Creates the window hidden at (50, 50), 770 x 350, titled "Vantor Quorvel", caption, system
    // menu and minimize box only, with the default extended style 0 for this creation (the
    // previous default is restored), sets its big icon and attaches the menu bar (before the
    // window is sized to the editor, which measures the frame with it). The window owns the object; null
    // (logged) when the window cannot be created.
    static MainWindow* create(SMPLModule* module, bool usesMediaBar);

    // Deletes the recorder panel, then the player panel, tells the engine module the window is
    // gone and posts the quit message so the application's message loop ends (a window that was
    // never made has no loop to end, and a quit message then would close the next message box).
    ~MainWindow() override;

    void* getHandle() const override { return VTR::Window::getHandle(); }
    void chooseLayout(int width) override;
    bool smallerLayout() const { return smallerLayout_; }
    bool usesMediaBar() const { return usesMediaBar_; }
    // Sizes the window to the editor (plus the media bar) at (x, y), repainting.
    void fitToEditor(int width, int height, int x, int y) override;
    // The window follows, keeping its position, and the media bar moves under the editor. Sizes
    // the system cannot make are ignored.
    void editorResized(int width, int height) override;
    // Creates the media bar (once, when the window has one), starts the idle tick, shows the
    // window and gives it the focus.
    void showAndStartIdle() override;
    void reloadMidiFile() override;
    void stopRecording() override;
    void onTimer(int id) override;
    // Menu commands. Every command is answered (0), known or not.
    void onCommand(int id) override;
    // Device nodes changed (7): the MIDI hot-plug pass brings the port lists up to date (the
    // window procedure then runs the default procedure).
    void onDeviceChange(uintptr_t event) override;

    // The idle tick: the engine's idle call, and on every 21st tick (not while offline) the
    // player's slider follows the MIDI file's position; at its end the player stops and rewinds.
    void idleTick();

    SMPLModule* module() const { return module_; }
    void forgetModule() override { module_ = nullptr; }
    MIDIFilePlayerGUI* player() const { return player_; }
    AudioFileRecorderGUI* recorder() const { return recorder_; }
    bool hasMenuBar() const { return menuAttached_; }

private:
    static constexpr int kLargestEditor = 16384;

    MainWindow(SMPLModule* module, bool usesMediaBar);

    // The outer size whose client area is width x height (plus the media bar): the frame is what
    // the window has now around its client area.
    void outerSize(int width, int height, int& outerWidth, int& outerHeight) const;
    // Builds the menu bar and attaches it to the window (platform side); false when it cannot.
    bool attachMenuBar();
    void createMediaBar();
    std::u16string chooseStateFile(bool save);

    SMPLModule* module_;
    bool usesMediaBar_;
    bool smallerLayout_ = false;
    bool created_;
    bool menuAttached_ = false;
    MainWindowServices services_;
    // Owned: deleted by the destructor, recorder first. Each deletes its own panel window.
    MIDIFilePlayerGUI* player_ = nullptr;
    AudioFileRecorderGUI* recorder_ = nullptr;
};

} // namespace vantor
