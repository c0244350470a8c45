// Child-window objects of the toolkit: NativeBaseObject (the root), NativeControl (a native child
// window with position, size, name and control id) and Panel (a child window of class
// "VTRPanelClass" that holds controls and forwards their notifications to them). As with
// Window, the native window owns its object: destroying it deletes the object, and child
// controls go with their panel. Win32 (NativeControl_win32.cpp); the headless build has twins
// that keep their state, and a panel deleted there deletes its controls (NativeControl_posix.cpp).
#pragma once

#include "toolkit/DrawContext.h"
#include "toolkit/Window.h"

#include <cstdint>
#include <map>
#include <string>

namespace vantor {
class MainWindow;
}

namespace vantor::VTR {

class NativeBaseObject {
public:
    NativeBaseObject() = default;
    virtual ~NativeBaseObject() = default;
    NativeBaseObject(const NativeBaseObject&) = delete;
    NativeBaseObject& operator=(const NativeBaseObject&) = delete;
    // A message the parent received from this object's window (WM_COMMAND, WM_HSCROLL).
    virtual intptr_t onParentMessage(unsigned /*message*/, uintptr_t /*wParam*/, intptr_t /*lParam*/) { return 0; }
};

class NativeControl : public NativeBaseObject {
public:
    NativeControl(MainWindow* owner, double x, double y, double width, double height, const std::u16string& name,
                  int32_t controlId);
    intptr_t onParentMessage(unsigned, uintptr_t, intptr_t) override { return 0; }
    virtual void* getHandle() const { return handle_; }
    virtual void setEnabled(bool enabled);
    virtual bool isEnabled() const;
    // Moves the native window, keeping its size, without repainting.
    virtual void setPosition(double x, double y);
    // Resizes the native window, keeping its top-left corner, without repainting.
    virtual void setSize(double width, double height);

    double x() const { return x_; }
    double y() const { return y_; }
    double width() const { return width_; }
    double height() const { return height_; }
    const std::u16string& name() const { return name_; }
    int32_t controlId() const { return controlId_; }
    MainWindow* owner() const { return owner_; }

protected:
    double x_, y_;
    double width_, height_;
    std::u16string name_;
    int32_t controlId_;
    void* handle_ = nullptr; // HWND
    MainWindow* owner_;
    bool enabled_ = true; // headless build only (Win32 asks the window)
};

// Listeners a panel keeps for its users (not owned).
class PanelListener {
public:
    virtual ~PanelListener() = default;
};

class Panel : public NativeControl {
public:
    // A visible child of `parent` (an HWND) of class "VTRPanelClass", titled with the name, with
    // the default extended style; attached to its window. getHandle() is null when the system
    // refused the window (then delete the object yourself).
    Panel(MainWindow* owner, void* parent, double x, double y, double width, double height, int32_t controlId,
          const std::u16string& name);
    // Deleted by the panel procedure on WM_DESTROY; deleting it while its window exists (not the
    // usual way) destroys the window too.
    ~Panel() override;

    // Fills (0, 0, width, height) with the background colour when it is enabled.
    virtual void paint(DrawContext& context);
    virtual bool isBackgroundEnabled() const { return backgroundEnabled_; }
    virtual Colour backgroundColour() const { return background_; }
    // Also enables the background. Red, green and blue are 0..1.
    virtual void setBackgroundColour(const Colour& colour);
    // Ids count up from 1.
    virtual int addListener(PanelListener* listener);
    virtual bool removeListener(int id);
    // Ties this object to its native window (the window's user data).
    virtual void attach();

    // The native window is going away: the object is deleted next (the procedure calls it).
    void windowDestroyed() { handle_ = nullptr; }

protected:
    std::map<int, PanelListener*> listeners_;
    int lastListenerId_ = 0;
    bool backgroundEnabled_ = false;
    Colour background_;
};

// The modifier mask passed with every mouse call of a container panel.
inline constexpr int kMouseShift = 2;
inline constexpr int kMouseControl = 4;
inline constexpr int kMouseExtraButton = 8;

// The object a "VTRContainerPanelClass" window reports mouse input to (no container panel is
// created in this program; the class procedure exists for it). Button index: left 0, right 1,
// middle 2.
class ContainerPanel : public Panel {
public:
    using Panel::Panel;
    virtual void onMouseMove(VPoint /*point*/, int /*modifiers*/) {}
    virtual void onMouseDrag(VPoint /*point*/, int /*button*/, int /*modifiers*/) {}
    virtual void onMouseDown(VPoint /*point*/, int /*button*/, int /*modifiers*/) {}
    virtual void onMouseUp(VPoint /*point*/, int /*button*/, int /*modifiers*/) {}
};

} // namespace vantor::VTR
