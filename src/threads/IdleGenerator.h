// Idle time for the engine and its modules. The GUI generator calls its listeners at most `rate`
// times per second with the elapsed milliseconds; the non-GUI generator calls them on every request.
#pragma once

#include "threads/Sync.h"
#include "threads/TimerRectifier.h"

#include <vector>

namespace vantor {

class GUIIdleListener {
public:
    virtual ~GUIIdleListener() = default;
    // GUI listeners get the elapsed time in milliseconds; the non-GUI generator passes 0.
    virtual void onIdle(double elapsedMs) = 0;
};

// Add, remove and tick must all run on one thread (the one sending the engine's opcodes): no lock
// is taken. The "GUIIdle" mutex exists for callers that need to serialise around the generator.
class GUIIdleGenerator {
public:
    explicit GUIIdleGenerator(double rate, TimerRectifier::ClockFunction clock = {});
    virtual ~GUIIdleGenerator();

    void add(GUIIdleListener* listener);    // appends; duplicates allowed; null ignored
    bool remove(GUIIdleListener* listener); // first occurrence only; false when absent or null
    void tick();
    size_t listenerCount() const { return listeners_.size(); }
    Mutex& mutex() { return mutex_; }

private:
    std::vector<GUIIdleListener*> listeners_;
    Mutex mutex_;
    TimerRectifier rectifier_;
};

// Every operation holds the "NONGUIIdle" lock, so listeners may come and go from any thread; a
// listener must not add or remove listeners from inside its callback.
class NonGUIIdleGenerator {
public:
    NonGUIIdleGenerator();
    virtual ~NonGUIIdleGenerator();

    void add(GUIIdleListener* listener);
    bool remove(GUIIdleListener* listener);
    void tick();
    size_t listenerCount();

private:
    std::vector<GUIIdleListener*> listeners_;
    Mutex mutex_;
};

} // namespace vantor
