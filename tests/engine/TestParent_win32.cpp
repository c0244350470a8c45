#include "TestParent.h"

#include <windows.h>

namespace enginetest {

void* createTestParent() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BrevianTestParent";
        RegisterClassW(&wc);
        registered = true;
    }
    return CreateWindowExW(0, L"BrevianTestParent", L"parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                           800, 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void destroyTestParent(void* parent) {
    if (parent != nullptr) DestroyWindow(static_cast<HWND>(parent));
}

bool childWindowInfo(void* window, void* parent, int& width, int& height) {
    HWND hwnd = static_cast<HWND>(window);
    if (!IsWindow(hwnd) || GetParent(hwnd) != static_cast<HWND>(parent)) return false;
    if ((GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) == 0) return false;
    RECT r;
    GetWindowRect(hwnd, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
}

} // namespace enginetest
