// Headless twins of the toolkit's child windows: each keeps its geometry and enabled state; the
// "native window" is the object itself. A panel deleted deletes the controls made on it, as
// destroying a native panel destroys its children.
#include "toolkit/NativeControl.h"
#include "toolkit/HeadlessChildren.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace vantor::VTR {

namespace {

std::mutex childrenLock;
std::map<void*, std::vector<NativeBaseObject*>>& children() {
    static std::map<void*, std::vector<NativeBaseObject*>> map;
    return map;
}

} // namespace

void headlessAdopt(void* parent, NativeBaseObject* child) {
    if (!parent) return;
    std::lock_guard<std::mutex> lock(childrenLock);
    children()[parent].push_back(child);
}

void headlessForget(NativeBaseObject* child) {
    std::lock_guard<std::mutex> lock(childrenLock);
    for (auto& [parent, list] : children())
        std::erase(list, child);
}

void headlessDestroyChildren(void* parent) {
    std::vector<NativeBaseObject*> list;
    {
        std::lock_guard<std::mutex> lock(childrenLock);
        auto found = children().find(parent);
        if (found == children().end()) return;
        list.swap(found->second);
        children().erase(found);
    }
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        delete *it;
}

NativeControl::NativeControl(MainWindow* owner, double x, double y, double width, double height,
                             const std::u16string& name, int32_t controlId)
    : x_(x), y_(y), width_(width), height_(height), name_(name), controlId_(controlId), owner_(owner) {}

void NativeControl::setEnabled(bool enabled) {
    enabled_ = enabled;
}

bool NativeControl::isEnabled() const {
    return handle_ && enabled_;
}

void NativeControl::setPosition(double x, double y) {
    x_ = x;
    y_ = y;
}

void NativeControl::setSize(double width, double height) {
    width_ = width;
    height_ = height;
}

Panel::Panel(MainWindow* owner, void* parent, double x, double y, double width, double height,
             int32_t controlId, const std::u16string& name)
    : NativeControl(owner, x, y, width, height, name, controlId) {
    handle_ = this;
    headlessAdopt(parent, this);
}

Panel::~Panel() {
    headlessForget(this);
    headlessDestroyChildren(this);
}

void Panel::paint(DrawContext& /*context*/) {}

void Panel::attach() {}

} // namespace vantor::VTR
