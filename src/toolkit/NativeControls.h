// Three native controls for the media bar: a push button painted with a PNG image in three
// looks (NativeButtonBitmap), a trackbar (NativeSlider) and a static text (NativeStaticText).
// Each replaces its window's procedure to stay tied to the window and puts it back when
// destroyed; the objects are deleted with their windows. Win32 (NativeControls_win32.cpp); the
// headless build has twins that keep their state (NativeControls_posix.cpp).
#pragma once

#include "toolkit/CBitmap.h"
#include "toolkit/NativeControl.h"

#include <map>
#include <string>

namespace vantor::VTR {

class VTRButtonListener {
public:
    virtual ~VTRButtonListener() = default;
    virtual void buttonClicked(int32_t /*controlId*/) {}
    virtual void buttonNotified(int32_t /*controlId*/) {}
};

class SliderListener {
public:
    virtual ~SliderListener() = default;
    virtual void sliderChanged(int32_t /*controlId*/, int /*value*/) {}
};

class NativeButtonBitmap : public NativeControl {
public:
    // A "BUTTON" child (BS_BITMAP, plus BS_AUTOCHECKBOX for a check box) showing the PNG image at
    // `imagePath`: as it is, blended 75% towards grey when disabled, darker and more opaque while
    // pushed. A 1-pixel grey border.
    NativeButtonBitmap(MainWindow* owner, void* parent, double x, double y, double width, double height,
                       const std::u16string& caption, bool checkBox, const std::u16string& name, int32_t controlId,
                       const std::u16string& imagePath);
    ~NativeButtonBitmap() override;

    // A click (notification code 0 in the high word of wParam).
    intptr_t onParentMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    // Tells every listener, in id order, that the button was clicked.
    virtual void click();
    virtual int addListener(VTRButtonListener* listener);
    virtual bool removeListener(int id);
    virtual void attach();

    const CBitmap& normalImage() const { return *images_[0]; }
    const CBitmap& disabledImage() const { return *images_[1]; }
    const CBitmap& pressedImage() const { return *images_[2]; }
    const VRect& imageRect() const { return destination_; }

    // The button's WM_PAINT (its own; the system's drawing is not used).
    void paint();
    void* replacedProcedure() const { return replaced_; }

private:
    std::map<int, VTRButtonListener*> listeners_;
    int lastListenerId_ = 0;
    bool borderEnabled_ = false;
    double borderWidth_ = 0;
    Colour border_{0, 0, 0, 255.0}; // 0..255
    CBitmap* images_[3] = {};       // normal, disabled, pressed
    VRect destination_;
    VRect source_;
    void* replaced_ = nullptr; // WNDPROC
};

class NativeSlider : public NativeControl {
public:
    // A "msctls_trackbar32" child (TBS_NOTICKS) with the range and the position set. The slider
    // starts as if `value` had been notified: moving it to that value tells nobody.
    NativeSlider(MainWindow* owner, void* parent, double x, double y, double width, double height, int minimum,
                 int maximum, int value, const std::u16string& name, int32_t controlId);
    ~NativeSlider() override;

    // WM_HSCROLL: scroll().
    intptr_t onParentMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    virtual int position() const;
    // Moves the slider; a new value is told to every listener except the one with `exceptId`.
    virtual void setValue(int value, int exceptId);
    // The user moved it: a new position is told to every listener.
    virtual void scroll();
    virtual int addListener(SliderListener* listener);
    virtual bool removeListener(int id);
    virtual void attach();

    int lastNotified() const { return lastNotified_; }
    void* replacedProcedure() const { return replaced_; }

private:
    void notify(int value, int exceptId);

    std::map<int, SliderListener*> listeners_;
    int lastListenerId_ = 0;
    int lastNotified_ = 0;
    void* replaced_ = nullptr;
    int position_ = 0; // headless build only
};

class NativeStaticText : public NativeControl {
public:
    NativeStaticText(MainWindow* owner, void* parent, double x, double y, double width, double height,
                     const std::u16string& text, const std::u16string& name, int32_t controlId);
    ~NativeStaticText() override;
    intptr_t onParentMessage(unsigned, uintptr_t, intptr_t) override { return 0; }
    virtual void setText(const std::u16string& text);
    virtual std::u16string text() const;
    virtual void attach();
    void* replacedProcedure() const { return replaced_; }

private:
    void* replaced_ = nullptr;
    std::u16string text_; // headless build only
};

} // namespace vantor::VTR
