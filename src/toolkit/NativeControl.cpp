// The panel's background colour and listeners, the same on every platform (its window is the
// platform's: NativeControl_win32.cpp, NativeControl_posix.cpp).
#include "toolkit/NativeControl.h"

namespace vantor::VTR {

void Panel::setBackgroundColour(const Colour& colour) {
    background_ = colour;
    backgroundEnabled_ = true;
}

int Panel::addListener(PanelListener* listener) {
    listeners_[++lastListenerId_] = listener;
    return lastListenerId_;
}

bool Panel::removeListener(int id) {
    return listeners_.erase(id) != 0;
}

} // namespace vantor::VTR
