// The slider's listeners and notifications, the same on every platform (the position itself is
// the platform's: NativeControls_win32.cpp, NativeControls_posix.cpp).
#include "toolkit/NativeControls.h"

namespace vantor::VTR {

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
