// Headless twins of the bitmap button, the slider and the static text: the same listeners and
// notifications as on Win32, with the state kept in the objects (no images are loaded).
#include "toolkit/NativeControls.h"
#include "toolkit/HeadlessChildren.h"

namespace vantor::VTR {

NativeButtonBitmap::NativeButtonBitmap(MainWindow* owner, void* parent, double x, double y, double width,
                                       double height, const std::u16string& /*caption*/, bool /*checkBox*/,
                                       const std::u16string& name, int32_t controlId,
                                       const std::u16string& /*imagePath*/)
    : NativeControl(owner, x, y, width, height, name, controlId) {
    handle_ = this;
    headlessAdopt(parent, this);
}

NativeButtonBitmap::~NativeButtonBitmap() {
    headlessForget(this);
}

intptr_t NativeButtonBitmap::onParentMessage(unsigned /*message*/, uintptr_t /*wParam*/,
                                             intptr_t /*lParam*/) {
    click();
    return 0;
}

void NativeButtonBitmap::attach() {}
void NativeButtonBitmap::paint() {}

NativeSlider::NativeSlider(MainWindow* owner, void* parent, double x, double y, double width, double height,
                           int /*minimum*/, int /*maximum*/, int value, const std::u16string& name,
                           int32_t controlId)
    : NativeControl(owner, x, y, width, height, name, controlId), lastNotified_(value), position_(value) {
    handle_ = this;
    headlessAdopt(parent, this);
}

NativeSlider::~NativeSlider() {
    headlessForget(this);
}

intptr_t NativeSlider::onParentMessage(unsigned /*message*/, uintptr_t /*wParam*/, intptr_t /*lParam*/) {
    scroll();
    return 0;
}

int NativeSlider::position() const {
    return position_;
}

void NativeSlider::setValue(int value, int exceptId) {
    position_ = value;
    notify(value, exceptId);
}

void NativeSlider::attach() {}

NativeStaticText::NativeStaticText(MainWindow* owner, void* parent, double x, double y, double width,
                                   double height, const std::u16string& text, const std::u16string& name,
                                   int32_t controlId)
    : NativeControl(owner, x, y, width, height, name, controlId), text_(text) {
    handle_ = this;
    headlessAdopt(parent, this);
}

NativeStaticText::~NativeStaticText() {
    headlessForget(this);
}

void NativeStaticText::setText(const std::u16string& text) {
    text_ = text;
}

std::u16string NativeStaticText::text() const {
    return text_;
}

void NativeStaticText::attach() {}

} // namespace vantor::VTR
