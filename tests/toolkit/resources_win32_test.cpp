// The dialog templates compiled into the program (this test program links the same resource
// script): each control's class, text, style and place, as the dialog manager lays them out.
#include "toolkit/ToolkitWin32Fixture.h"

#include "resource.h"

#include <string>
#include <winver.h>
#include <vector>

namespace {

struct ControlRow {
    int id; // -1: a static without an id, found by its text
    const wchar_t* className;
    const wchar_t* text;
    int x, y, width, height; // dialog units
    DWORD style;             // bits that must be set
    bool disabled;
};

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

HWND findStatic(HWND dialog, const wchar_t* text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t buffer[128] = {};
        GetWindowTextW(child, buffer, 128);
        if (GetDlgCtrlID(child) == 0xFFFF && std::wstring(buffer) == text) return child;
    }
    return nullptr;
}

void checkTemplate(int templateId, const wchar_t* caption, int width, int height, DWORD style, DWORD absent,
                   const std::vector<ControlRow>& rows) {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr, quietDialog, 0);
    ASSERT_NE(dialog, nullptr) << "template " << templateId;
    wchar_t text[128] = {};
    GetWindowTextW(dialog, text, 128);
    EXPECT_STREQ(text, caption);
    const DWORD dialogStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    EXPECT_EQ(dialogStyle & style, style) << std::hex << dialogStyle;
    EXPECT_EQ(dialogStyle & absent, 0u) << std::hex << dialogStyle;
    RECT size = {0, 0, width, height};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    int children = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++children;
    EXPECT_EQ(children, static_cast<int>(rows.size()));
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(std::to_string(templateId) + " control " + std::to_string(row.id));
        HWND control = row.id == -1 ? findStatic(dialog, row.text) : GetDlgItem(dialog, row.id);
        ASSERT_NE(control, nullptr);
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        EXPECT_EQ(lstrcmpiW(className, row.className), 0) << std::string(className, className + lstrlenW(className));
        GetWindowTextW(control, text, 128);
        if (lstrcmpiW(row.className, L"ComboBox") != 0) {
            EXPECT_STREQ(text, row.text);
        }
        const DWORD controlStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ(controlStyle & row.style, row.style) << std::hex << controlStyle;
        EXPECT_EQ(!IsWindowEnabled(control), row.disabled);
        // The dialog manager converts the position and the size each on its own.
        RECT place = {row.x, row.y, 0, 0}, extent = {0, 0, row.width, row.height};
        MapDialogRect(dialog, &place);
        MapDialogRect(dialog, &extent);
        const RECT expected = {place.left, place.top, place.left + extent.right, place.top + extent.bottom};
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right - expected.left);
        if (lstrcmpiW(row.className, L"ComboBox") != 0) {
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top);
        }
    }
    DestroyWindow(dialog);
}

TEST(Resources, PreferencesTemplateHasItsControls) {
    // (A combo box passes WS_VSCROLL on to its list: its own style no longer shows it.)
    const DWORD combo = CBS_DROPDOWNLIST;
    checkTemplate(IDD_PREFERENCES, L"Preferences", 306, 300, WS_CAPTION | DS_CENTER, WS_SYSMENU,
                  {{1013, L"Static", L"Audio Device API", 53, 93, 57, 8, 0, false},
                   {1006, L"ComboBox", L"", 118, 90, 123, 67, combo, false},
                   {1014, L"Static", L"Audio Device", 53, 119, 44, 8, 0, false},
                   {1001, L"ComboBox", L"", 117, 116, 124, 80, combo, false},
                   {1015, L"Static", L"Stereo Pair", 53, 146, 36, 8, 0, false},
                   {1002, L"ComboBox", L"", 117, 142, 124, 80, combo, false},
                   {1016, L"Static", L"Sample Rate", 53, 172, 42, 8, 0, false},
                   {1003, L"ComboBox", L"", 117, 168, 124, 80, combo, false},
                   {1017, L"Static", L"Buffer Size", 53, 197, 35, 8, 0, false},
                   {1004, L"ComboBox", L"", 117, 194, 124, 80, combo, false},
                   {1005, L"Button", L"OK", 118, 250, 50, 14, 0, false}});
}

TEST(Resources, RenderOfflineTemplateHasItsControls) {
    checkTemplate(IDD_RENDER_OFFLINE, L"Render Offline", 224, 154, WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0,
                  {{-1, L"Static", L"MIDI file :", 18, 36, 32, 8, 0, false},
                   {1011, L"Static", L"No selection", 52, 31, 143, 12, SS_SUNKEN, false},
                   {-1, L"Static", L"Audio file :", 15, 51, 35, 8, 0, false},
                   {1012, L"Static", L"No selection", 52, 49, 143, 12, SS_SUNKEN, false},
                   {1008, L"Button", L"...", 200, 31, 17, 14, 0, false},
                   {1009, L"Button", L"...", 200, 47, 17, 14, 0, false},
                   {1010, L"Button", L"Render", 71, 78, 146, 70, 0, true}});
}

TEST(Resources, IconAndVersionAreThere) {
    EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUORVEL)), nullptr);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
    for (auto [key, want] : {std::pair<const wchar_t*, const wchar_t*>{L"CompanyName", L"Vantor"}, {L"ProductName", L"Quorvel"}}) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(value, want);
    }
}

} // namespace
