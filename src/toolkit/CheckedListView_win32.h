// A report-style list view with check boxes and one column. It keeps its own copy of each row's
// checked state; when the list view reports an item change it compares the two and tells its
// listeners which rows the user checked or unchecked. Rows changed through setChecked are recorded
// first, so programmatic changes never reach the listeners. GUI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <windows.h>

namespace vantor::VTR {

class CheckedListViewListener {
public:
    virtual ~CheckedListViewListener() = default;
    virtual void itemChanged(int32_t /*listId*/, int32_t /*row*/, bool /*checked*/) {}
};

// The primary monitor's effective DPI / 96: GetDpiForMonitor looked up at run time in Shcore.dll
// (older systems lack it), 1.0 without it.
double displayScale();

class CheckedListView {
public:
    static constexpr int kColumnWidth = 288;

    // A child list of `parent` at (x, y) with size width x height, all multiplied by the display
    // scale, control id `listId`, one column titled `title` 288 x scale pixels wide.
    CheckedListView(HWND parent, int x, int y, int height, int width, int32_t listId, const std::u16string& title);
    virtual ~CheckedListView() = default;
    CheckedListView(const CheckedListView&) = delete;
    CheckedListView& operator=(const CheckedListView&) = delete;

    // Appends a row, unchecked; false when the list view refuses it.
    bool addRow(const std::u16string& text);
    // Records the state, then shows it; a row never added is left alone. Returns true.
    bool setChecked(int32_t row, bool checked);
    // The listener is not owned; ids count up from 1.
    int32_t addListener(CheckedListViewListener* listener);
    // The parent's LVN_ITEMCHANGED handler: one listener call per row whose check box now differs
    // from the recorded state, in row order.
    void itemChanged();

    HWND window() const { return list_; }
    int32_t listId() const { return listId_; }
    double scale() const { return scale_; }
    int32_t rowCount() const { return rowCount_; }
    // The recorded state (false for a row never added).
    bool isChecked(int32_t row) const;

private:
    std::map<int32_t, uint8_t> rows_;
    std::map<int32_t, CheckedListViewListener*> listeners_;
    int32_t listId_;
    double scale_;
    std::u16string title_;
    int32_t rowCount_ = 0;
    HWND list_ = nullptr;
};

} // namespace vantor::VTR
