#include "toolkit/VxProgressDialog.h"

#include "log/Log.h"

#include <windows.h>
#include <commctrl.h>

#include <mutex>

namespace vantor {

namespace {

const wchar_t* kClassName = L"vantorProgressDialog";

VxProgressDialog::Question& questionHook() {
    static VxProgressDialog::Question hook;
    return hook;
}

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

void registerClassOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.hIconSm = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc))
            logError("VxProgressDialog Window Registration Failed most probably already registered!");
    });
}

LRESULT CALLBACK cancelHandler(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VxProgressDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_COMMAND) self->onCancelCommand();
    return CallWindowProcW(reinterpret_cast<WNDPROC>(GetPropW(hwnd, L"vantorProgressProc")), hwnd, message, wParam,
                           lParam);
}

} // namespace

void VxProgressDialog::setQuestionHook(Question question) {
    questionHook() = std::move(question);
}

VxProgressDialog::VxProgressDialog(const std::u16string& title, void* owner, uint16_t range, bool cancellable,
                                   bool confirmCancel, bool twoBars)
    : requestedOwner_(owner), title_(title), range_(range), confirmCancel_(confirmCancel), twoBars_(twoBars) {
    HWND chosen = static_cast<HWND>(owner);
    if (!chosen) chosen = GetActiveWindow();
    if (!chosen) chosen = GetForegroundWindow();
    if (!chosen) chosen = GetDesktopWindow();
    if (!chosen) return;
    if (GetWindowThreadProcessId(chosen, nullptr) != GetCurrentThreadId()) return;
    owner_ = chosen;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    registerClassOnce();

    RECT r{};
    GetWindowRect(chosen, &r);
    const int left = (r.left + r.right) / 2 - 200;
    const int top = (r.top + r.bottom) / 2 - 75;
    HWND dialog = CreateWindowExW(WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME, kClassName, wide(title_),
                                  WS_OVERLAPPED | WS_CAPTION, left, top, 400, 150, chosen, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!dialog) {
        logError("m_hwndWrapper GetLastError:", static_cast<unsigned long>(GetLastError()));
        return;
    }
    dialog_ = dialog;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    HWND label = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, 20, 20, 360, 17, dialog, nullptr, instance,
                                 nullptr);
    SendMessageW(label, WM_SETFONT, font, FALSE);
    label_ = label;
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 20, 50, 360, 17, dialog, nullptr,
                               instance, nullptr);
    SendMessageW(bar, PBM_SETRANGE32, 0, range_);
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    firstBar_ = bar;
    if (twoBars_) {
        HWND second = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 20, 70, 360, 17, dialog, nullptr,
                                      instance, nullptr);
        SendMessageW(second, PBM_SETRANGE32, 0, 100);
        SendMessageW(second, PBM_SETSTEP, 1, 0);
        secondBar_ = second;
    }
    if (cancellable) {
        // Id IDCANCEL, so tools (and Escape-aware code) can find it.
        HWND button = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 160,
                                      twoBars_ ? 105 : 80, 60, 20, dialog,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
        SendMessageW(button, WM_SETFONT, font, FALSE);
        cancelButton_ = button;
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        replacedProcedure_ = reinterpret_cast<void*>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&cancelHandler)));
        SetPropW(dialog, L"vantorProgressProc", replacedProcedure_);
        SendMessageW(button, WM_SETFOCUS, 0, 0);
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    // Only with a window on screen: a disabled owner with nothing shown would look hung.
    EnableWindow(chosen, FALSE);
    ownerDisabled_ = true;
}

VxProgressDialog::~VxProgressDialog() {
    HWND owner = static_cast<HWND>(owner_);
    if (ownerDisabled_) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    if (dialog_) {
        HWND dialog = static_cast<HWND>(dialog_);
        if (replacedProcedure_) {
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replacedProcedure_));
            RemovePropW(dialog, L"vantorProgressProc");
        }
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
        DestroyWindow(dialog);
    }
    if (owner && ownerDisabled_) UpdateWindow(owner);
}

bool VxProgressDialog::setMessage(const std::u16string& message) {
    if (!dialog_) return !cancelled_;
    ++callCount_;
    SendMessageW(static_cast<HWND>(firstBar_), PBM_STEPIT, 0, 0);
    SetWindowTextW(static_cast<HWND>(label_), wide(message));
    if (callCount_ == 1 || callCount_ % 4 == 0) pump();
    return !cancelled_;
}

bool VxProgressDialog::setProgress(uint32_t value) {
    if (!dialog_) return !cancelled_;
    ++callCount_;
    SendMessageW(static_cast<HWND>(twoBars_ ? secondBar_ : firstBar_), PBM_SETPOS, value, 0);
    if (callCount_ == 1 || callCount_ % 4 == 0) pump();
    return !cancelled_;
}

void VxProgressDialog::onCancelCommand() {
    if (!confirmCancel_) {
        cancelled_ = true;
        return;
    }
    const std::u16string text = u"Do you really want to cancel?";
    bool yes = false;
    // The question runs a modal loop that dispatches the owner's timers: they must see it open.
    asking_ = true;
    if (questionHook())
        yes = questionHook()(title_, text);
    else
        yes = MessageBoxW(nullptr, wide(text), wide(title_),
                          MB_YESNO | MB_DEFBUTTON2 | MB_TASKMODAL | MB_SETFOREGROUND) == IDYES;
    asking_ = false;
    if (yes) cancelled_ = true;
}

void VxProgressDialog::pump() {
    MSG msg;
    for (int i = 0; i < 2 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    for (int i = 0; i < 2 && PeekMessageW(&msg, static_cast<HWND>(dialog_), 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace vantor
