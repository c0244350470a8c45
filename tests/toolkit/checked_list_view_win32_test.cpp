// The checked list view on the real list view under Wine: its scaled geometry, and which check-box
// changes reach its listeners (the user's, one call per changed row in row order; never its own).
#include "toolkit/CheckedListView_win32.h"

#include "toolkit/ToolkitWin32Fixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

using namespace vantor;

namespace {

struct Recorder : VTR::CheckedListViewListener {
    explicit Recorder(int tag_) : tag(tag_) {}
    void itemChanged(int32_t listId, int32_t row, bool checked) override {
        calls->emplace_back(tag, listId, row, checked);
    }
    int tag;
    std::vector<std::tuple<int, int32_t, int32_t, bool>>* calls = nullptr;
};

// What a click on a row's check box does to the list view. The parent here passes no notification
// on, so the test decides when the view compares.
void click(HWND list, int row, bool checked) {
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int stateImage(HWND list, int row) {
    return static_cast<int>((SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
}

TEST(CheckedListView, ScaledGeometryAndListenerCalls) {
    VTR::setModuleInstance(GetModuleHandleW(nullptr));
    HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    auto* view = new VTR::CheckedListView(parent, 76, 20, 100, 288, 2200, u"Input MIDI Devices");
    HWND list = view->window();
    ASSERT_NE(list, nullptr);

    // Position, size and column follow the display scale (at 144 DPI: (114, 30), 432 x 150, 432).
    const double scale = view->scale();
    EXPECT_EQ(scale, VTR::displayScale());
    RECT rect = {};
    GetWindowRect(list, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(std::make_tuple(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
              std::make_tuple(static_cast<LONG>(76 * scale), static_cast<LONG>(20 * scale),
                              static_cast<LONG>(288 * scale), static_cast<LONG>(100 * scale)));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), static_cast<LRESULT>(288 * scale));
    EXPECT_EQ(GetDlgCtrlID(list), 2200);
    EXPECT_TRUE(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES);
    wchar_t title[64] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(title, L"Input MIDI Devices");
    // Run at 144 DPI (the desktop's setting in a prefix of its own): the exact sizes.
    const char* expectDpi = std::getenv("QUORVEL_EXPECT_DPI");
    if (expectDpi && std::string(expectDpi) == "144") {
        EXPECT_EQ(scale, 1.5);
        EXPECT_EQ(std::make_tuple(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                  std::make_tuple(114L, 30L, 432L, 150L));
        EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 432);
    }

    std::vector<std::tuple<int, int32_t, int32_t, bool>> calls;
    Recorder first(1), second(2);
    first.calls = second.calls = &calls;
    EXPECT_EQ(view->addListener(&first), 1);
    EXPECT_EQ(view->addListener(&second), 2);
    for (const char16_t* text : {u"A", u"B", u"C", u"D"}) EXPECT_TRUE(view->addRow(text));
    EXPECT_EQ(view->rowCount(), 4);

    // Programmatic changes are recorded first: the comparison finds nothing to report.
    EXPECT_TRUE(view->setChecked(1, true));
    EXPECT_TRUE(view->setChecked(99, true)) << "a row never added is left alone";
    view->itemChanged();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(stateImage(list, 1), 2);
    EXPECT_EQ(stateImage(list, 0), 1);

    // Several rows clicked before one comparison: one call per changed row, in row order, each
    // listener in id order.
    click(list, 3, true);
    click(list, 1, false);
    click(list, 0, true);
    view->itemChanged();
    using Call = std::tuple<int, int32_t, int32_t, bool>;
    EXPECT_EQ(calls, (std::vector<Call>{{1, 2200, 0, true},
                                        {2, 2200, 0, true},
                                        {1, 2200, 1, false},
                                        {2, 2200, 1, false},
                                        {1, 2200, 3, true},
                                        {2, 2200, 3, true}}));
    calls.clear();
    view->itemChanged();
    EXPECT_TRUE(calls.empty()) << "a second comparison reports nothing new";
    EXPECT_TRUE(view->isChecked(0) && !view->isChecked(1) && !view->isChecked(2) && view->isChecked(3));

    delete view;
    DestroyWindow(parent);
}

} // namespace
