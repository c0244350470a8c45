// The bitmap button, the slider and the static text on Win32.
#include "toolkit/NativeControls.h"

#include "toolkit/Application.h"

#include <windows.h>
#include <commctrl.h>

#include <type_traits>

namespace vantor::VTR {

namespace {

HWND hwndOf(void* handle) {
    return static_cast<HWND>(handle);
}

HWND createChild(const wchar_t* className, const std::u16string& text, DWORD style, void* parent, double x, double y,
                 double width, double height, int32_t controlId, bool guiFont) {
    HWND window = CreateWindowExW(defaultExtendedStyle(), className, reinterpret_cast<const wchar_t*>(text.c_str()),
                                  style, static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                                  static_cast<int>(height), hwndOf(parent),
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(controlId)),
                                  static_cast<HINSTANCE>(moduleInstance()), nullptr);
    if (window && guiFont) SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return window;
}

// Puts `procedure` in place of the window's own and returns the replaced one.
void* replaceProcedure(void* handle, WNDPROC procedure) {
    return reinterpret_cast<void*>(
        SetWindowLongPtrW(hwndOf(handle), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

// The one procedure of all three controls. On WM_DESTROY everything needed afterwards (the
// replaced procedure) is read before the object is deleted.
template <class Control> LRESULT CALLBACK controlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<Control*>(
        reinterpret_cast<NativeBaseObject*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    if (!control) return DefWindowProcW(window, message, wParam, lParam);
    const auto replaced = reinterpret_cast<WNDPROC>(control->replacedProcedure());
    if (message == WM_DESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete control; // puts the replaced procedure back
        return CallWindowProcW(replaced, window, message, wParam, lParam);
    }
    if constexpr (std::is_same_v<Control, NativeButtonBitmap>) {
        if (message == WM_PAINT) {
            control->paint();
            return 0;
        }
    }
    return CallWindowProcW(replaced, window, message, wParam, lParam);
}

// Restores the window's own procedure and unties the object (the window is being destroyed, or
// the object is deleted directly, which then destroys the window too).
void detach(void*& handle, void* replaced, bool destroyWindow) {
    if (!handle) return;
    HWND window = hwndOf(handle);
    handle = nullptr;
    const bool stillAttached = GetWindowLongPtrW(window, GWLP_USERDATA) != 0;
    if (replaced) SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replaced));
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (destroyWindow && stillAttached) DestroyWindow(window);
}

} // namespace

// --- NativeButtonBitmap -------------------------------------------------------------------------

NativeButtonBitmap::NativeButtonBitmap(MainWindow* owner, void* parent, double x, double y, double width,
                                       double height, const std::u16string& caption, bool checkBox,
                                       const std::u16string& name, int32_t controlId,
                                       const std::u16string& imagePath)
    : NativeControl(owner, x, y, width, height, name, controlId) {
    DWORD style = WS_CHILD | WS_VISIBLE | BS_BITMAP;
    if (checkBox) style |= BS_AUTOCHECKBOX;
    handle_ = createChild(L"BUTTON", caption, style, parent, x, y, width, height, controlId, false);

    for (auto& image : images_) image = new CBitmap(imagePath);
    images_[1]->blendColour(kDisabledBlendColour, kDisabledBlendFactor);
    images_[2]->offsetColour(unpackColour(kPressedOffsetColour));

    const double imageWidth = images_[0]->width(), imageHeight = images_[0]->height();
    destination_.left = (width - imageWidth) / 2;
    destination_.top = (height - imageHeight) / 2;
    destination_.right = destination_.left + imageWidth;
    destination_.bottom = destination_.top + imageHeight;
    source_ = {0, 0, height, width};

    borderEnabled_ = true;
    borderWidth_ = 2 * 0 + 1;
    border_ = {128, 128, 128, 255.0};

    if (handle_) {
        replaced_ = replaceProcedure(handle_, controlProcedure<NativeButtonBitmap>);
        attach();
    }
}

NativeButtonBitmap::~NativeButtonBitmap() {
    detach(handle_, replaced_, true);
    for (auto& image : images_) {
        if (image) image->release();
        image = nullptr;
    }
}

intptr_t NativeButtonBitmap::onParentMessage(unsigned /*message*/, uintptr_t wParam, intptr_t /*lParam*/) {
    if (HIWORD(wParam) == 0) click();
    return 0;
}

void NativeButtonBitmap::attach() {
    if (handle_)
        SetWindowLongPtrW(hwndOf(handle_), GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(static_cast<NativeBaseObject*>(this)));
}

void NativeButtonBitmap::paint() {
    HWND window = hwndOf(handle_);
    RECT update;
    if (!GetUpdateRect(window, &update, FALSE)) return;
    PAINTSTRUCT paintInfo;
    HDC dc = BeginPaint(window, &paintInfo);
    DrawContext context(dc, update.right - update.left, update.bottom - update.top);
    if (borderEnabled_) {
        HPEN pen = CreatePen(PS_SOLID, static_cast<int>(borderWidth_),
                             RGB(static_cast<int>(border_.red), static_cast<int>(border_.green),
                                 static_cast<int>(border_.blue)));
        HGDIOBJ old = SelectObject(dc, pen);
        const int h = static_cast<int>(borderWidth_) / 2;
        const int w = static_cast<int>(width_), ht = static_cast<int>(height_);
        const POINT outline[] = {{h, h}, {w - h - 1, h}, {w - h - 1, ht - h - 1}, {h, ht - h - 1}, {h, h}};
        Polyline(dc, outline, 5);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    CBitmap* image = images_[0];
    if (!IsWindowEnabled(window))
        image = images_[1];
    else if (SendMessageW(window, BM_GETSTATE, 0, 0) & BST_PUSHED)
        image = images_[2];
    image->draw(dc, destination_, VPoint{0, 0});
    EndPaint(window, &paintInfo);
}

// --- NativeSlider -------------------------------------------------------------------------------

NativeSlider::NativeSlider(MainWindow* owner, void* parent, double x, double y, double width, double height,
                           int minimum, int maximum, int value, const std::u16string& name, int32_t controlId)
    : NativeControl(owner, x, y, width, height, name, controlId), lastNotified_(value) {
    handle_ = createChild(TRACKBAR_CLASSW, name, WS_CHILD | WS_VISIBLE | TBS_NOTICKS, parent, x, y, width, height,
                          controlId, true);
    if (!handle_) return;
    HWND window = hwndOf(handle_);
    SendMessageW(window, TBM_SETRANGEMIN, TRUE, minimum);
    SendMessageW(window, TBM_SETRANGEMAX, TRUE, maximum);
    SendMessageW(window, TBM_SETPOS, TRUE, value);
    replaced_ = replaceProcedure(handle_, controlProcedure<NativeSlider>);
    attach();
}

NativeSlider::~NativeSlider() {
    detach(handle_, replaced_, true);
}

intptr_t NativeSlider::onParentMessage(unsigned message, uintptr_t /*wParam*/, intptr_t /*lParam*/) {
    if (message == WM_HSCROLL) scroll();
    return 0;
}

int NativeSlider::position() const {
    return handle_ ? static_cast<int>(SendMessageW(hwndOf(handle_), TBM_GETPOS, 0, 0)) : 0;
}

void NativeSlider::setValue(int value, int exceptId) {
    if (handle_) SendMessageW(hwndOf(handle_), TBM_SETPOS, TRUE, value);
    notify(value, exceptId);
}

void NativeSlider::attach() {
    if (handle_)
        SetWindowLongPtrW(hwndOf(handle_), GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(static_cast<NativeBaseObject*>(this)));
}

// --- NativeStaticText ---------------------------------------------------------------------------

NativeStaticText::NativeStaticText(MainWindow* owner, void* parent, double x, double y, double width, double height,
                                   const std::u16string& text, const std::u16string& name, int32_t controlId)
    : NativeControl(owner, x, y, width, height, name, controlId) {
    handle_ = createChild(L"STATIC", text, WS_CHILD | WS_VISIBLE, parent, x, y, width, height, controlId, true);
    if (!handle_) return;
    replaced_ = replaceProcedure(handle_, controlProcedure<NativeStaticText>);
    attach();
}

NativeStaticText::~NativeStaticText() {
    detach(handle_, replaced_, true);
}

void NativeStaticText::setText(const std::u16string& text) {
    if (handle_) SetWindowTextW(hwndOf(handle_), reinterpret_cast<const wchar_t*>(text.c_str()));
}

std::u16string NativeStaticText::text() const {
    if (!handle_) return {};
    const int length = GetWindowTextLengthW(hwndOf(handle_));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwndOf(handle_), text.data(), length + 1);
    return std::u16string(text.begin(), text.begin() + (got > 0 ? got : 0));
}

void NativeStaticText::attach() {
    if (handle_)
        SetWindowLongPtrW(hwndOf(handle_), GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(static_cast<NativeBaseObject*>(this)));
}

} // namespace vantor::VTR
