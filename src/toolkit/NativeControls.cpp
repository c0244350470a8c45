// The listeners and notifications of the bitmap button and the slider, the same on every platform
// (the windows and the slider's position are the platform's: NativeControls_win32.cpp,
// NativeControls_posix.cpp).
#include "toolkit/NativeControls.h"

namespace vantor::VTR {

void NativeButtonBitmap::click() {
    for (auto& [id, listener] : listeners_)
        if (listener) listener->buttonClicked(controlId_);
}

int NativeButtonBitmap::addListener(VTRButtonListener* listener) {
    listeners_[++lastListenerId_] = listener;
    return lastListenerId_;
}

bool NativeButtonBitmap::removeListener(int id) {
    return listeners_.erase(id) != 0;
}

void NativeSlider::scroll() {
    notify(position(), 0);
}

void NativeSlider::notify(int value, int exceptId) {
    if (value == lastNotified_) return;
    lastNotified_ = value;
    for (auto& [id, listener] : listeners_)
        if (listener && id != exceptId) listener->sliderChanged(controlId_, value);
}

int NativeSlider::addListener(SliderListener* listener) {
    listeners_[++lastListenerId_] = listener;
    return lastListenerId_;
}

bool NativeSlider::removeListener(int id) {
    return listeners_.erase(id) != 0;
}

} // namespace vantor::VTR
