// The counting part of Semaphore, the same on every platform: the count and maximum are only
// touched while the inherited lock is held.
#include "log/Log.h"
#include "threads/Clock.h"
#include "threads/Sync.h"

#include <cmath>

namespace vantor {

Semaphore::Semaphore(const std::string& name, uint64_t initialCount, uint64_t maximum)
    : Condition(name), count_(initialCount), maximum_(maximum) {}

Semaphore::~Semaphore() = default;

bool Semaphore::acquire() {
    bool locked = Lock();
    while (count_ == 0) {
        if (!wait()) {
            if (locked) Unlock();
            return false;
        }
    }
    --count_;
    // One event carries every release and the first waiter resets it: when units are left, set it
    // again so another waiter does not sleep while units are available.
    if (count_ > 0) signalQuiet();
    if (locked) Unlock();
    return true;
}

bool Semaphore::tryAcquire() {
    bool locked = Lock();
    bool ok = count_ > 0;
    if (ok) --count_;
    if (locked) Unlock();
    return ok;
}

bool Semaphore::acquireFor(uint32_t milliseconds) {
    const long long start = std::llround(millisecondClock());
    bool locked = Lock();
    bool ok = false;
    for (;;) {
        if (count_ > 0) {
            --count_;
            if (count_ > 0) signalQuiet();
            ok = true;
            break;
        }
        const long long now = std::llround(millisecondClock());
        // Each wait is a full one, but once the time given has passed a wake-up that finds no
        // unit gives up instead of starting yet another wait.
        if (now < start || now - start >= static_cast<long long>(milliseconds)) break;
        if (!waitFor(milliseconds)) break;
    }
    if (locked) Unlock();
    return ok;
}

bool Semaphore::release() {
    bool locked = Lock();
    bool ok = maximum_ == 0 || count_ != maximum_;
    if (ok) {
        ++count_;
        signal();
    }
    if (locked) Unlock();
    return ok;
}

uint64_t Semaphore::count() {
    bool locked = Lock();
    uint64_t value = count_;
    if (locked) Unlock();
    return value;
}

} // namespace vantor
