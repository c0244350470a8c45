// NativeControl and Panel on Win32, and the panel and container class procedures.
#include "toolkit/NativeControl.h"

#include "toolkit/Application.h"
#include "toolkit/Procedures_win32.h"

#include <windows.h>
#include <windowsx.h>

namespace vantor::VTR {

namespace {

HWND hwndOf(void* handle) {
    return static_cast<HWND>(handle);
}

template <class T> T* attached(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// WM_PAINT of a panel or container: paint the update area through the object.
LRESULT paintPanel(HWND window, Panel* panel) {
    RECT update;
    if (!GetUpdateRect(window, &update, FALSE)) return 0;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DrawContext context(dc, update.right - update.left, update.bottom - update.top);
    if (panel) panel->paint(context);
    EndPaint(window, &paint);
    return 0;
}

// WM_DESTROY: the native window owns its object.
void destroyAttached(HWND window) {
    Panel* panel = attached<Panel>(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!panel) return;
    panel->windowDestroyed();
    delete panel;
}

int mouseModifiers(WPARAM wParam) {
    int mask = 0;
    if (wParam & MK_SHIFT) mask |= kMouseShift;
    if (wParam & MK_CONTROL) mask |= kMouseControl;
    if (wParam & MK_XBUTTON1) mask |= kMouseExtraButton;
    return mask;
}

} // namespace

NativeControl::NativeControl(MainWindow* owner, double x, double y, double width, double height,
                             const std::u16string& name, int32_t controlId)
    : x_(x), y_(y), width_(width), height_(height), name_(name), controlId_(controlId), owner_(owner) {}

void NativeControl::setEnabled(bool enabled) {
    if (handle_) EnableWindow(hwndOf(handle_), enabled ? TRUE : FALSE);
}

bool NativeControl::isEnabled() const {
    return handle_ && IsWindowEnabled(hwndOf(handle_));
}

void NativeControl::setPosition(double x, double y) {
    x_ = x;
    y_ = y;
    if (handle_)
        SetWindowPos(hwndOf(handle_), nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void NativeControl::setSize(double width, double height) {
    width_ = width;
    height_ = height;
    if (handle_)
        SetWindowPos(hwndOf(handle_), nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

Panel::Panel(MainWindow* owner, void* parent, double x, double y, double width, double height, int32_t controlId,
             const std::u16string& name)
    : NativeControl(owner, x, y, width, height, name, controlId) {
    HWND window = CreateWindowExW(defaultExtendedStyle(), kPanelClassName, reinterpret_cast<const wchar_t*>(name.c_str()),
                                  WS_CHILD | WS_VISIBLE, static_cast<int>(x), static_cast<int>(y),
                                  static_cast<int>(width), static_cast<int>(height), hwndOf(parent),
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(controlId)),
                                  static_cast<HINSTANCE>(moduleInstance()), nullptr);
    handle_ = window;
    if (window) attach();
}

Panel::~Panel() {
    if (handle_) {
        // Deleted directly while the window exists: take the window with it.
        HWND window = hwndOf(handle_);
        handle_ = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

void Panel::paint(DrawContext& context) {
    if (!backgroundEnabled_) return;
    fillWithColour(static_cast<HDC>(context.deviceContext), static_cast<int>(width_), static_cast<int>(height_),
                   background_.red, background_.green, background_.blue);
}

void Panel::attach() {
    if (handle_) SetWindowLongPtrW(hwndOf(handle_), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        destroyAttached(window);
        break;
    case WM_PAINT:
        return paintPanel(window, attached<Panel>(window));
    case WM_COMMAND:
    case WM_HSCROLL:
        // From a child control: the control's own object handles it.
        if (lParam) {
            if (auto* control = attached<NativeBaseObject>(reinterpret_cast<HWND>(lParam)))
                control->onParentMessage(message, wParam, lParam);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK containerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* container = attached<ContainerPanel>(window);
    const VPoint point{static_cast<double>(GET_X_LPARAM(lParam)), static_cast<double>(GET_Y_LPARAM(lParam))};
    const int modifiers = mouseModifiers(wParam);
    switch (message) {
    case WM_DESTROY:
        destroyAttached(window);
        break;
    case WM_PAINT:
        return paintPanel(window, container);
    case WM_MOUSEMOVE:
        if (!container) break;
        if (wParam & MK_MBUTTON)
            container->onMouseDrag(point, 2, modifiers);
        else if (wParam & MK_RBUTTON)
            container->onMouseDrag(point, 1, modifiers);
        else if (wParam & MK_LBUTTON)
            container->onMouseDrag(point, 0, modifiers);
        else
            container->onMouseMove(point, modifiers);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!container) break;
        container->onMouseDown(point, message == WM_LBUTTONDOWN ? 0 : message == WM_RBUTTONDOWN ? 1 : 2, modifiers);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (!container) break;
        container->onMouseUp(point, message == WM_LBUTTONUP ? 0 : message == WM_RBUTTONUP ? 1 : 2, modifiers);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace vantor::VTR
