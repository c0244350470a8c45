// Toolkit windows on Win32: a top-level window of class "VTRWindowClass" tied to its object
// through the user data slot, with the toolkit's window procedure installed over the class's.
#include "toolkit/Application.h"
#include "toolkit/Window.h"
#include "toolkit/Procedures_win32.h"

#include <atomic>

#include <windows.h>

namespace vantor::VTR {

namespace {

std::atomic<uint32_t> extendedStyle{0};
std::atomic<bool> quitWasPosted{false};

HWND hwndOf(void* handle) {
    return static_cast<HWND>(handle);
}

} // namespace

uint32_t defaultExtendedStyle() {
    return extendedStyle.load(std::memory_order_relaxed);
}
void setDefaultExtendedStyle(uint32_t style) {
    extendedStyle.store(style, std::memory_order_relaxed);
}

void postQuit(int exitCode) {
    quitWasPosted.store(true);
    PostQuitMessage(exitCode);
}
bool quitPosted() {
    return quitWasPosted.load();
}
void clearQuitPosted() {
    quitWasPosted.store(false);
}

struct WindowAccess {
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
        switch (message) {
        case WM_DESTROY:
            // The native window owns the object: it goes with the window.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            window->destroying_ = true;
            window->onDestroy();
            window->handle_ = nullptr;
            delete window;
            return DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_PAINT: {
            RECT update;
            if (!GetUpdateRect(hwnd, &update, FALSE)) return 0;
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            DrawContext context(dc, update.right - update.left, update.bottom - update.top);
            window->paint(context);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_TIMER:
            window->onTimer(static_cast<int>(wParam));
            return 0;
        case WM_COMMAND:
            window->onCommand(LOWORD(wParam));
            return 0;
        case WM_DEVICECHANGE:
            window->onDeviceChange(static_cast<uintptr_t>(wParam));
            break;
        default:
            break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

void fillWithColour(HDC dc, int width, int height, double red, double green, double blue) {
    HBRUSH brush = CreateSolidBrush(RGB(static_cast<int>(red * 255), static_cast<int>(green * 255),
                                        static_cast<int>(blue * 255)));
    RECT area = {0, 0, width, height};
    FillRect(static_cast<HDC>(dc), &area, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowAccess::procedure(window, message, wParam, lParam);
}

void Window::paint(DrawContext& context) {
    if (!backgroundEnabled_ || !handle_) return;
    RECT client;
    GetClientRect(hwndOf(handle_), &client);
    fillWithColour(static_cast<HDC>(context.deviceContext), client.right, client.bottom, background_.red,
                   background_.green, background_.blue);
}

Window::Window(double x, double y, double width, double height, bool toolWindow, int flags,
               const std::u16string& title, const std::u16string& name)
    : title_(title), name_(name) {
    DWORD style = WS_CAPTION | WS_SYSMENU;
    if (flags & kWindowMinimizeBox) style |= WS_MINIMIZEBOX;
    if (flags & kWindowMaximizeBox) style |= WS_MAXIMIZEBOX;
    DWORD exStyle = defaultExtendedStyle();
    if (toolWindow) exStyle |= WS_EX_TOOLWINDOW;
    HWND hwnd = CreateWindowExW(exStyle, kWindowClassName, reinterpret_cast<const wchar_t*>(title_.c_str()),
                                style, static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                                static_cast<int>(height), nullptr, nullptr,
                                static_cast<HINSTANCE>(moduleInstance()), nullptr);
    if (!hwnd) return;
    handle_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowAccess::procedure));
}

Window::~Window() {
    if (handle_ && !destroying_) {
        HWND hwnd = hwndOf(handle_);
        handle_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
}

void Window::show(bool visible) {
    visible_ = visible;
    if (handle_) ShowWindow(hwndOf(handle_), visible ? SW_SHOW : SW_HIDE);
}

void Window::setSize(double width, double height) {
    if (!handle_) return;
    SetWindowPos(hwndOf(handle_), nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::setPosition(double x, double y) {
    if (!handle_) return;
    SetWindowPos(hwndOf(handle_), nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::setBounds(double x, double y, double width, double height) {
    if (!handle_) return;
    MoveWindow(hwndOf(handle_), static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
               static_cast<int>(height), TRUE);
}

void Window::windowSize(int& width, int& height) const {
    RECT r = {};
    if (handle_) GetWindowRect(hwndOf(handle_), &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
}

void Window::clientSize(int& width, int& height) const {
    RECT r = {};
    if (handle_) GetClientRect(hwndOf(handle_), &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
}

void Window::position(int& x, int& y) const {
    RECT r = {};
    if (handle_) GetWindowRect(hwndOf(handle_), &r);
    x = r.left;
    y = r.top;
}

void Window::startTimer(int id, int milliseconds) {
    if (handle_)
        SetTimer(hwndOf(handle_), static_cast<UINT_PTR>(id), static_cast<UINT>(milliseconds), nullptr);
}

void Window::stopTimer(int id) {
    if (handle_) KillTimer(hwndOf(handle_), static_cast<UINT_PTR>(id));
}

void Window::focus() {
    if (handle_) SetFocus(hwndOf(handle_));
    focused_ = handle_ != nullptr;
}

bool Window::setBigIconFromResource(int resourceId) {
    if (!handle_) return false;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId));
    if (!icon) return false;
    SendMessageW(hwndOf(handle_), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return true;
}

void Window::destroy() {
    if (handle_)
        DestroyWindow(hwndOf(handle_)); // WM_DESTROY deletes this object
    else
        delete this;
}

} // namespace vantor::VTR
