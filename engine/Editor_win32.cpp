// The editor panel on Windows: a child window of the host's window, drawn with GDI, with three
// push buttons ("Next patch", the view switch and "Audio setup").
#include "Editor.h"

#include "Engine.h"

#include <windows.h>

namespace brevian {

namespace {

constexpr wchar_t kClassName[] = L"BrevianEditorPanel";
constexpr int kPatchButtonId = 101;
constexpr int kViewButtonId = 102;
constexpr int kAudioButtonId = 103;
constexpr int kButtonX[3] = {16, 152, 288};

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

void paint(HWND hwnd, const Editor& editor) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);

    HBRUSH background = CreateSolidBrush(RGB(32, 36, 44));
    FillRect(dc, &client, background);
    DeleteObject(background);
    RECT band = {0, 0, client.right, 56};
    HBRUSH bandBrush = CreateSolidBrush(RGB(52, 84, 120));
    FillRect(dc, &band, bandBrush);
    DeleteObject(bandBrush);

    SetBkMode(dc, TRANSPARENT);
    HFONT title = CreateFontW(-26, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    HFONT body = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ old = SelectObject(dc, title);
    SetTextColor(dc, RGB(240, 244, 250));
    const std::wstring heading = widen(editor.statusLine(0));
    TextOutW(dc, 16, 14, heading.c_str(), static_cast<int>(heading.size()));

    SelectObject(dc, body);
    SetTextColor(dc, RGB(200, 210, 222));
    for (int line = 1; line < Editor::kStatusLines; ++line) {
        const std::wstring text = widen(editor.statusLine(line));
        TextOutW(dc, 16, 70 + 26 * (line - 1), text.c_str(), static_cast<int>(text.size()));
    }

    // A meter of the voices sounding.
    const Engine* engine = editor.engine();
    const int voices = engine != nullptr ? engine->activeVoices() : 0;
    const int meterWidth = client.right - 32;
    RECT frame = {16, 160, 16 + meterWidth, 176};
    FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    RECT fill = {17, 161, 17 + (meterWidth - 2) * voices / kVoiceCount, 175};
    HBRUSH fillBrush = CreateSolidBrush(RGB(110, 190, 120));
    FillRect(dc, &fill, fillBrush);
    DeleteObject(fillBrush);

    SelectObject(dc, old);
    DeleteObject(title);
    DeleteObject(body);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_PAINT:
        if (editor != nullptr) {
            paint(hwnd, *editor);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT fills everything
    case WM_COMMAND:
        if (editor != nullptr && HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == kPatchButtonId) editor->nextPatch();
            if (LOWORD(wParam) == kViewButtonId) editor->toggleView();
            if (LOWORD(wParam) == kAudioButtonId) editor->showAudioPanel();
            return 0;
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(thisModule(), kClassName, &wc)) return true;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = panelProc;
    wc.hInstance = thisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
}

const wchar_t* viewButtonText(bool compact) { return compact ? L"Wide view" : L"Compact view"; }

} // namespace

bool Editor::createWindow(void* parent) {
    if (!registerClass()) return false;
    HWND panel = CreateWindowExW(0, kClassName, L"Brevian", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width(),
                                 height(), static_cast<HWND>(parent), nullptr, thisModule(), this);
    if (panel == nullptr) return false;
    window_ = panel;
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const wchar_t* texts[3] = {L"Next patch", viewButtonText(compact_), L"Audio setup"};
    const int ids[3] = {kPatchButtonId, kViewButtonId, kAudioButtonId};
    for (int i = 0; i < 3; ++i)
        controls_[i] = CreateWindowExW(0, L"BUTTON", texts[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                       kButtonX[i], height() - 52, 120, 32, panel,
                                       reinterpret_cast<HMENU>(ids[i]), thisModule(), nullptr);
    for (void* control : controls_)
        if (control != nullptr) SendMessageW(static_cast<HWND>(control), WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    return true;
}

void Editor::destroyWindow() {
    if (window_ != nullptr && IsWindow(static_cast<HWND>(window_))) DestroyWindow(static_cast<HWND>(window_));
    window_ = nullptr;
    controls_[0] = controls_[1] = controls_[2] = nullptr;
}

void Editor::resizeWindow() {
    if (window_ == nullptr) return;
    SetWindowPos(static_cast<HWND>(window_), nullptr, 0, 0, width(), height(), SWP_NOMOVE | SWP_NOZORDER);
    // The buttons stay at the bottom edge of a panel whose height a size file changed.
    for (int i = 0; i < 3; ++i)
        if (controls_[i] != nullptr)
            SetWindowPos(static_cast<HWND>(controls_[i]), nullptr, kButtonX[i], height() - 52, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
    if (controls_[1] != nullptr) SetWindowTextW(static_cast<HWND>(controls_[1]), viewButtonText(compact_));
    invalidate();
}

void Editor::invalidate() {
    if (window_ != nullptr) InvalidateRect(static_cast<HWND>(window_), nullptr, FALSE);
}

} // namespace brevian
