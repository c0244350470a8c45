// Shared set-up of the toolkit's Windows tests: the module instance and the toolkit's window
// classes, once per test program, and small helpers to pump messages and read pixels.
#pragma once

#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

namespace vantor::test {

class ToolkitEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        VTR::setModuleInstance(GetModuleHandleW(nullptr));
        application_.init();
    }
    void TearDown() override { application_.exit(); }
    VTR::Application application_;
};

// Dispatches the thread's pending messages until `done` or the timeout (ms); true when done.
inline bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// A 32-bit top-down memory bitmap to paint into and read back.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all = {0, 0, width, height};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }
    ~MemoryCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Red, green, blue of the pixel at (x, y).
    std::array<int, 3> rgb(int x, int y) const {
        GdiFlush();
        const uint8_t* p = bits_ + 4 * (static_cast<size_t>(y) * width_ + x);
        return {p[2], p[1], p[0]};
    }
    const uint8_t* bits() const {
        GdiFlush();
        return bits_;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint8_t* bits_ = nullptr;
};

inline std::u16string mediaImage(const char* name) {
    std::string path = std::string(QUORVEL_SOURCE_DIR) + "/data/GUI/" + name + "22.png";
    return std::u16string(path.begin(), path.end());
}

} // namespace vantor::test
