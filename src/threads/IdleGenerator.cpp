#include "threads/IdleGenerator.h"

#include <algorithm>

namespace vantor {

GUIIdleGenerator::GUIIdleGenerator(double rate, TimerRectifier::ClockFunction clock)
    : mutex_("GUIIdle"), rectifier_(rate, std::move(clock)) {}

GUIIdleGenerator::~GUIIdleGenerator() = default;

void GUIIdleGenerator::add(GUIIdleListener* listener) {
    if (listener) listeners_.push_back(listener);
}

bool GUIIdleGenerator::remove(GUIIdleListener* listener) {
    if (!listener) return false;
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end()) return false;
    listeners_.erase(it);
    return true;
}

void GUIIdleGenerator::tick() {
    double elapsed = 0.0;
    if (!rectifier_.tick(elapsed)) return;
    const double ms = elapsed * 1000.0;
    // By index: a listener may remove itself (same thread) while being called.
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->onIdle(ms);
}

NonGUIIdleGenerator::NonGUIIdleGenerator() : mutex_("NONGUIIdle") {}

NonGUIIdleGenerator::~NonGUIIdleGenerator() = default;

void NonGUIIdleGenerator::add(GUIIdleListener* listener) {
    if (!listener) return;
    VxMutexLocker lock(mutex_);
    listeners_.push_back(listener);
}

bool NonGUIIdleGenerator::remove(GUIIdleListener* listener) {
    if (!listener) return false;
    VxMutexLocker lock(mutex_);
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end()) return false;
    listeners_.erase(it);
    return true;
}

void NonGUIIdleGenerator::tick() {
    VxMutexLocker lock(mutex_);
    for (GUIIdleListener* listener : listeners_)
        listener->onIdle(0.0);
}

size_t NonGUIIdleGenerator::listenerCount() {
    VxMutexLocker lock(mutex_);
    return listeners_.size();
}

} // namespace vantor
