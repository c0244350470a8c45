#include "toolkit/CheckedListView_win32.h"

#include "log/Log.h"
#include "toolkit/Application.h"

#include <commctrl.h>

namespace vantor::VTR {

namespace {

// MONITOR_DPI_TYPE's effective DPI; Shcore's header is not needed for one constant.
constexpr int kMdtEffectiveDpi = 0;
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

} // namespace

double displayScale() {
    HMODULE shcore = LoadLibraryW(L"Shcore.dll");
    if (!shcore) return 1.0;
    auto getDpi = reinterpret_cast<GetDpiForMonitorFunction>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    double scale = 1.0;
    if (getDpi) {
        HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        UINT dpiX = 96, dpiY = 96;
        if (SUCCEEDED(getDpi(monitor, kMdtEffectiveDpi, &dpiX, &dpiY)) && dpiX != 0 && dpiX != 96)
            scale = static_cast<double>(dpiX) / 96.0;
    }
    FreeLibrary(shcore);
    return scale;
}

CheckedListView::CheckedListView(HWND parent, int x, int y, int height, int width, int32_t listId,
                                 const std::u16string& title)
    : listId_(listId), scale_(displayScale()), title_(title) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);

    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                            static_cast<int>(x * scale_), static_cast<int>(y * scale_),
                            static_cast<int>(width * scale_), static_cast<int>(height * scale_), parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(listId)),
                            static_cast<HINSTANCE>(moduleInstance()), nullptr);
    if (!list_) {
        logError("CheckedListView: the list view could not be created, error ", GetLastError());
        return;
    }
    SetWindowLongPtrW(list_, GWLP_ID, listId);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FLATSB,
                 LVS_EX_CHECKBOXES | LVS_EX_FLATSB);

    std::wstring text(title_.begin(), title_.end());
    if (text.size() > 255) text.resize(255);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = static_cast<int>(kColumnWidth * scale_);
    column.pszText = text.data();
    SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

bool CheckedListView::addRow(const std::u16string& text) {
    std::wstring wide(text.begin(), text.end());
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = rowCount_;
    item.pszText = wide.data();
    if (!list_ || SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == -1) return false;
    rows_[rowCount_] = 0;
    ++rowCount_;
    return true;
}

bool CheckedListView::setChecked(int32_t row, bool checked) {
    auto found = rows_.find(row);
    if (found == rows_.end()) return true;
    // Recorded before the list view changes, so the notification it sends finds nothing to report.
    found->second = checked ? 1 : 0;
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return true;
}

int32_t CheckedListView::addListener(CheckedListViewListener* listener) {
    const int32_t id = listeners_.empty() ? 1 : listeners_.rbegin()->first + 1;
    listeners_[id] = listener;
    return id;
}

void CheckedListView::itemChanged() {
    for (auto& [row, checked] : rows_) {
        const UINT state = static_cast<UINT>(
            SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
        const UINT image = (state & LVIS_STATEIMAGEMASK) >> 12;
        if (image == static_cast<UINT>(checked + 1)) continue;
        checked = checked ? 0 : 1;
        for (auto& entry : listeners_) entry.second->itemChanged(listId_, row, checked != 0);
    }
}

bool CheckedListView::isChecked(int32_t row) const {
    auto found = rows_.find(row);
    return found != rows_.end() && found->second != 0;
}

} // namespace vantor::VTR
