#include "toolkit/Application.h"
#include "toolkit/Procedures_win32.h"
#include "toolkit/Window.h"

#include <atomic>

#include <windows.h>
#include <commctrl.h>

namespace vantor::VTR {

namespace {
std::atomic<void*> instanceHandle{nullptr};
}

void setModuleInstance(void* instance) {
    instanceHandle.store(instance, std::memory_order_release);
}
void* moduleInstance() {
    return instanceHandle.load(std::memory_order_acquire);
}

namespace {

HINSTANCE instance() {
    return static_cast<HINSTANCE>(moduleInstance());
}

bool registerClass(const wchar_t* name, WNDPROC procedure, bool background) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance();
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = background ? reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1) : nullptr;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

// Both classes of a pair or neither.
bool registerPair(const wchar_t* withBackground, const wchar_t* withoutBackground, WNDPROC procedure) {
    if (!registerClass(withBackground, procedure, true)) return false;
    if (!registerClass(withoutBackground, procedure, false)) {
        UnregisterClassW(withBackground, instance());
        return false;
    }
    return true;
}

void unregisterPair(const wchar_t* withBackground, const wchar_t* withoutBackground) {
    UnregisterClassW(withBackground, instance());
    UnregisterClassW(withoutBackground, instance());
}

BOOL CALLBACK findToolkitWindow(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    if (GetClassNameW(window, name, 64) && lstrcmpW(name, kWindowClassName) == 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool hasOpenWindow() {
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), findToolkitWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool Application::init() {
    windowsRegistered_ = registerPair(kWindowClassName, kWindowClassNameBG, windowProcedure);
    panelsRegistered_ = registerPair(kPanelClassName, kPanelClassNameBG, panelProcedure);
    containersRegistered_ =
        registerPair(kContainerPanelClassName, kContainerPanelClassNameBG, containerProcedure);
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    return true;
}

bool Application::exit() {
    unregisterPair(kWindowClassName, kWindowClassNameBG);
    unregisterPair(kPanelClassName, kPanelClassNameBG);
    unregisterPair(kContainerPanelClassName, kContainerPanelClassNameBG);
    windowsRegistered_ = panelsRegistered_ = containersRegistered_ = false;
    return true;
}

bool Application::run() {
    if (!hasOpenWindow()) return true;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

} // namespace vantor::VTR
