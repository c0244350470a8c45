// The host's one top-level window, around the engine's editor. The engine module asks for it
// through the editor-host factory that the application installs at start-up; closing it ends the
// application's message loop. GUI thread only.
#pragma once

#include "bridge/EditorHost.h"
#include "toolkit/Window.h"

#include <string>

namespace vantor {

class SMPLModule;

class MainWindow : public VTR::Window, public EditorHost {
public:
    static constexpr int kIdleTimerId = 1001;
    static constexpr int kIdleTimerMilliseconds = 16;
    // Editors narrower than this get the smaller media-bar layout.
    static constexpr int kSmallerLayoutBelow = 755;
    static constexpr int kMediaBarHeight = 40;
    static constexpr int kIconResource = 102;
    static constexpr const char16_t* kTitle = u"Vantor Quorvel";

    // Creates the window hidden at (50, 50), 770 x 350, titled "Vantor Quorvel", caption, system
    // menu and minimize box only, with the default extended style 0 for this creation (the
    // previous default is restored), and sets its big icon. The window owns the object; null
    // (logged) when the window cannot be created.
    static MainWindow* create(SMPLModule* module, bool usesMediaBar);

    // Tells the engine module the window is gone and posts the quit message so the application's
    // message loop ends (a window that was never made has no loop to end, and a quit message then
    // would close the next message box).
    ~MainWindow() override;

    void* getHandle() const override { return VTR::Window::getHandle(); }
    void chooseLayout(int width) override;
    bool smallerLayout() const { return smallerLayout_; }
    bool usesMediaBar() const { return usesMediaBar_; }
    void fitToEditor(int width, int height, int x, int y) override;
    // The window follows, keeping its position. Sizes the system cannot make are ignored.
    void editorResized(int width, int height) override;
    void showAndStartIdle() override;
    // The idle tick: the engine gets its idle call.
    void onTimer(int id) override;

    SMPLModule* module() const { return module_; }
    void forgetModule() override { module_ = nullptr; }

private:
    static constexpr int kLargestEditor = 16384;

    MainWindow(SMPLModule* module, bool usesMediaBar);

    // The outer size whose client area is width x height (plus the media bar): the frame is what
    // the window has now around its client area.
    void outerSize(int width, int height, int& outerWidth, int& outerHeight) const;

    SMPLModule* module_;
    bool usesMediaBar_;
    bool smallerLayout_ = false;
    bool created_;
};

} // namespace vantor
