// The toolkit's application object: registers the toolkit's window classes for the life of the
// application and runs the message loop.
#pragma once

namespace vantor::VTR {

// The module instance handle (HINSTANCE) every toolkit window is created with; set once at
// start-up before any window exists.
void setModuleInstance(void* instance);
void* moduleInstance();

// The toolkit's window class names, registered in pairs (with and without a background brush).
inline constexpr const wchar_t* kWindowClassName = L"VTRWindowClass";
inline constexpr const wchar_t* kWindowClassNameBG = L"VTRWindowClassBG";
inline constexpr const wchar_t* kPanelClassName = L"VTRPanelClass";
inline constexpr const wchar_t* kPanelClassNameBG = L"VTRPanelClassBG";
inline constexpr const wchar_t* kContainerPanelClassName = L"VTRContainerPanelClass";
inline constexpr const wchar_t* kContainerPanelClassNameBG = L"VTRContainerPanelClassBG";

class Application {
public:
    Application() = default;
    virtual ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Registers the window classes (windows, then panels, then container panels) and initialises
    // the common controls. Returns true.
    virtual bool init();
    // Unregisters them in the same order. Returns true.
    virtual bool exit();
    // The message loop: get, translate, dispatch until the quit message or a failed get. Runs only
    // while the thread has a toolkit top-level window, which is what ends the loop by posting the
    // quit message when it is destroyed; without one it returns at once. Headless, it closes the
    // windows still open and returns. Returns true.
    virtual bool run();
    virtual void hook() {}

    // Whether the last init registered each pair of classes (both classes of a pair, or neither).
    bool windowClassesRegistered() const { return windowsRegistered_; }
    bool panelClassesRegistered() const { return panelsRegistered_; }
    bool containerClassesRegistered() const { return containersRegistered_; }

protected:
    bool windowsRegistered_ = false;
    bool panelsRegistered_ = false;
    bool containersRegistered_ = false;
};

} // namespace vantor::VTR
