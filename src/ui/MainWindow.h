// The host's one top-level window, around the engine's editor. The engine module creates it when
// it opens the editor; closing it ends the application's message loop. Everything here is built
// on the toolkit Window, so it runs the same on the headless window where there is no GUI.
#pragma once

#include "bridge/SMPLModule.h"
#include "log/Log.h"
#include "toolkit/Window.h"

#include <string>

namespace vantor {

class MainWindow : public VTR::Window {
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
    // previous default is restored), and sets its big icon. The window owns the object.
    static MainWindow* create(SMPLModule* module, bool usesMediaBar) {
        const uint32_t savedStyle = VTR::defaultExtendedStyle();
        VTR::setDefaultExtendedStyle(0);
        auto* window = new MainWindow(module, usesMediaBar);
        VTR::setDefaultExtendedStyle(savedStyle);
        if (!window->created_) {
            logError("MainWindow: the window cannot be created");
            delete window;
            return nullptr;
        }
        window->setBigIconFromResource(kIconResource);
        return window;
    }

    // Posts the quit message so the application's message loop ends (a window that was never
    // made has no loop to end, and a quit message then would close the next message box).
    ~MainWindow() override {
        if (module_) module_->mainWindowGone(this);
        module_ = nullptr;
        if (created_) VTR::postQuit(0);
    }

    // Chooses the media-bar layout for an editor `width` pixels wide.
    void chooseLayout(int width) {
        smallerLayout_ = width < kSmallerLayoutBelow;
        if (smallerLayout_) logInfo("smallerSize enabled");
    }
    bool smallerLayout() const { return smallerLayout_; }
    bool usesMediaBar() const { return usesMediaBar_; }

    // Sizes the window so that its client area holds the editor (and the media bar) and moves it
    // to (x, y), repainting.
    void fitToEditor(int width, int height, int x, int y) {
        int outerWidth = 0, outerHeight = 0;
        outerSize(width, height, outerWidth, outerHeight);
        setBounds(x, y, outerWidth, outerHeight);
    }

    // The engine asks for a new editor size: the window follows, keeping its position. Sizes the
    // system cannot make are ignored.
    void editorResized(int width, int height) {
        if (width <= 0 || height <= 0 || width > kLargestEditor || height > kLargestEditor) {
            logWarning("ignored an editor size of ", width, " x ", height);
            return;
        }
        chooseLayout(width);
        int outerWidth = 0, outerHeight = 0;
        outerSize(width, height, outerWidth, outerHeight);
        setSize(outerWidth, outerHeight);
    }

    // Starts the 16 ms idle tick, shows the window and gives it the focus.
    void showAndStartIdle() {
        startTimer(kIdleTimerId, kIdleTimerMilliseconds);
        show(true);
        focus();
    }

    // The idle tick: the engine gets its idle call.
    void onTimer(int id) override {
        if (id == kIdleTimerId && module_) module_->timerTick();
    }

    SMPLModule* module() const { return module_; }
    // The engine module is going away before the window: nothing may reach it any more.
    void forgetModule() { module_ = nullptr; }

private:
    static constexpr int kLargestEditor = 16384;

    MainWindow(SMPLModule* module, bool usesMediaBar)
        : VTR::Window(50, 50, 770, 350, false, 3, kTitle, u"SA"), module_(module),
          usesMediaBar_(usesMediaBar), created_(getHandle() != nullptr) {}

    // The outer size whose client area is width x height (plus the media bar): the frame is what
    // the window has now around its client area.
    void outerSize(int width, int height, int& outerWidth, int& outerHeight) const {
        int windowWidth = 0, windowHeight = 0, clientWidth = 0, clientHeight = 0;
        windowSize(windowWidth, windowHeight);
        clientSize(clientWidth, clientHeight);
        outerWidth = width + (windowWidth - clientWidth);
        outerHeight = height + (windowHeight - clientHeight) + (usesMediaBar_ ? kMediaBarHeight : 0);
    }

    SMPLModule* module_;
    bool usesMediaBar_;
    bool smallerLayout_ = false;
    bool created_;
};

} // namespace vantor
