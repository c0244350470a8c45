// A top-level toolkit window. The native window owns the object: destroying the native window
// (the user closing it, or destroy()) deletes the object. On Windows it is a window of class
// "VTRWindowClass"; elsewhere the window is headless: it keeps its geometry, visibility, title and
// timers so the host's window logic runs and is tested the same way without a window system.
#pragma once

#include "toolkit/DrawContext.h"

#include <cstdint>
#include <map>
#include <string>

namespace vantor::VTR {

// The extended window style every toolkit window and control is created with (initially 0). A
// creator may save it, set another value and restore it around one creation.
uint32_t defaultExtendedStyle();
void setDefaultExtendedStyle(uint32_t style);

// Ends the thread's message loop (Application::run) with this exit code. Without a window system
// it is only recorded: quitPosted() tells whether it happened since the last clearQuitPosted().
void postQuit(int exitCode);
bool quitPosted();
void clearQuitPosted();

// Headless builds only: destroys every toolkit window still open, as a user closing them would
// (the headless message loop has no user to wait for). Returns how many there were.
int destroyHeadlessWindows();
// Whether the calling thread has a toolkit window open (what the message loop runs for).
bool hasOpenWindow();

// Creation flags of a Window.
inline constexpr int kWindowMinimizeBox = 2;
inline constexpr int kWindowMaximizeBox = 4;

// Asked by Window::queryListeners with the window's integer value.
class WindowListener {
public:
    virtual ~WindowListener() = default;
    virtual bool query(int value) = 0;
};

struct Colour {
    double red = 0.0, green = 0.0, blue = 0.0, alpha = 255.0;
};

class Window {
public:
    // Creates the native window, hidden: no parent, no menu, a caption and a system menu, plus
    // the boxes the flags ask for; WS_EX_TOOLWINDOW on top of the default extended style for a
    // tool window. Positions and sizes are pixels, truncated.
    Window(double x, double y, double width, double height, bool toolWindow, int flags,
           const std::u16string& title, const std::u16string& name);
    // Deleting the object while its native window exists (not the usual way: destroy() is)
    // destroys the native window too.
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    virtual void show(bool visible);
    virtual bool isVisible() const { return visible_; }
    // The native window handle (HWND on Windows; on a headless window an opaque non-null value).
    virtual void* getHandle() const { return handle_; }
    // Keeps the top-left corner.
    virtual void setSize(double width, double height);
    // Keeps the size.
    virtual void setPosition(double x, double y);
    // Moves and resizes in one step, repainting.
    void setBounds(double x, double y, double width, double height);

    // Outer size of the window and size of its client area, in pixels.
    void windowSize(int& width, int& height) const;
    void clientSize(int& width, int& height) const;
    void position(int& x, int& y) const;

    // Starts (or restarts) a repeating timer on this window; onTimer(id) runs on each tick.
    void startTimer(int id, int milliseconds);
    void stopTimer(int id);
    // Gives the window the keyboard focus.
    void focus();
    // Sets the window's big icon from the program's icon resource `resourceId`; false (default
    // icon kept) when the program has none.
    bool setBigIconFromResource(int resourceId);

    // Destroys the native window, which deletes this object: do not use it afterwards.
    void destroy();

    const std::u16string& title() const { return title_; }
    const std::u16string& name() const { return name_; }

    virtual void setValue(int value) { value_ = value; }
    virtual int value() const { return value_; }
    // Ids count up from 1. The listener is not owned.
    virtual int addListener(WindowListener* listener) {
        listeners_[++lastListenerId_] = listener;
        return lastListenerId_;
    }
    virtual bool removeListener(int id) { return listeners_.erase(id) != 0; }
    // Asks every listener in id order with the integer value, stopping at the first false.
    virtual bool queryListeners() {
        for (auto& [id, listener] : listeners_)
            if (listener && !listener->query(value_)) return false;
        return true;
    }

    // Paints the window's update area: fills the client area with the background colour when the
    // background is enabled.
    virtual void paint(DrawContext& context);

    virtual bool isBackgroundEnabled() const { return backgroundEnabled_; }
    virtual Colour backgroundColour() const { return background_; }
    // Also enables the background: paint fills the client area with it.
    virtual void setBackgroundColour(const Colour& colour) {
        background_ = colour;
        backgroundEnabled_ = true;
    }

    // Message hooks, on the GUI thread.
    virtual void onTimer(int /*id*/) {}
    virtual void onCommand(int /*id*/) {}
    virtual void onDeviceChange(uintptr_t /*event*/) {}

    // The headless window's timers: id -> period in ms (empty on Windows, where the system keeps
    // them). Lets tests see what would tick.
    const std::map<int, int>& headlessTimers() const { return timers_; }
    bool hasFocus() const { return focused_; }

protected:
    // The native window is being destroyed; the object is deleted right after. The handle is
    // still valid here.
    virtual void onDestroy() {}

private:
    friend struct WindowAccess;

    std::map<int, WindowListener*> listeners_;
    int lastListenerId_ = 0;
    int value_ = 0;
    std::u16string title_;
    std::u16string name_;
    void* handle_ = nullptr;
    bool backgroundEnabled_ = false;
    Colour background_;
    bool visible_ = false;
    // Headless geometry and timers (unused on Windows).
    double x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    std::map<int, int> timers_;
    bool focused_ = false;
    bool destroying_ = false;
};

} // namespace vantor::VTR
