// Headless toolkit windows: no window system, so a window is its remembered geometry, visibility,
// timers and focus. Destroying it runs the same hooks as a native window's destruction.
#include "toolkit/Window.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace vantor::VTR {

namespace {

std::atomic<uint32_t> extendedStyle{0};
std::atomic<bool> quitWasPosted{false};

// Open windows in creation order (GUI thread only, like the windows themselves; the lock keeps a
// stray use from another thread from corrupting the list).
std::mutex openLock;
std::vector<Window*> openWindows;

void forget(Window* window) {
    std::lock_guard<std::mutex> lock(openLock);
    std::erase(openWindows, window);
}

} // namespace

int destroyHeadlessWindows() {
    int count = 0;
    for (;;) {
        Window* window = nullptr;
        {
            std::lock_guard<std::mutex> lock(openLock);
            if (openWindows.empty()) return count;
            window = openWindows.back();
        }
        window->destroy();
        ++count;
    }
}

bool hasOpenWindow() {
    std::lock_guard<std::mutex> lock(openLock);
    return !openWindows.empty();
}

uint32_t defaultExtendedStyle() {
    return extendedStyle.load(std::memory_order_relaxed);
}
void setDefaultExtendedStyle(uint32_t style) {
    extendedStyle.store(style, std::memory_order_relaxed);
}

void postQuit(int /*exitCode*/) {
    quitWasPosted.store(true);
}
bool quitPosted() {
    return quitWasPosted.load();
}
void clearQuitPosted() {
    quitWasPosted.store(false);
}

Window::Window(double x, double y, double width, double height, bool /*toolWindow*/, int /*flags*/,
               const std::u16string& title, const std::u16string& name)
    : title_(title), name_(name), x_(static_cast<int>(x)), y_(static_cast<int>(y)),
      width_(static_cast<int>(width)), height_(static_cast<int>(height)) {
    handle_ = this; // stands for the native window: non-null while the window exists
    std::lock_guard<std::mutex> lock(openLock);
    openWindows.push_back(this);
}

Window::~Window() {
    forget(this);
    handle_ = nullptr;
}

// Nothing to paint on without a window system.
void Window::paint(DrawContext& /*context*/) {}

void Window::show(bool visible) {
    visible_ = visible;
}

void Window::setSize(double width, double height) {
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
}

void Window::setPosition(double x, double y) {
    x_ = static_cast<int>(x);
    y_ = static_cast<int>(y);
}

void Window::setBounds(double x, double y, double width, double height) {
    setPosition(x, y);
    setSize(width, height);
}

// No frame: the client area is the whole window.
void Window::windowSize(int& width, int& height) const {
    width = static_cast<int>(width_);
    height = static_cast<int>(height_);
}

void Window::clientSize(int& width, int& height) const {
    windowSize(width, height);
}

void Window::position(int& x, int& y) const {
    x = static_cast<int>(x_);
    y = static_cast<int>(y_);
}

void Window::startTimer(int id, int milliseconds) {
    timers_[id] = milliseconds;
}

void Window::stopTimer(int id) {
    timers_.erase(id);
}

void Window::focus() {
    focused_ = true;
}

bool Window::setBigIconFromResource(int /*resourceId*/) {
    return false;
}

void Window::destroy() {
    destroying_ = true;
    onDestroy();
    timers_.clear();
    delete this;
}

} // namespace vantor::VTR
