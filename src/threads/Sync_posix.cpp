// POSIX side of the synchronisation classes.
//
// Mutex is a recursive pthread mutex. MutexOLD is a small monitor (pthread mutex + condition
// variable) that tracks the owning thread and the recursion depth itself, because Condition needs
// what a kernel mutex gives on Windows: one wait for "lock free (or mine) AND event signalled"
// that takes both at once. The event of a Condition lives in the same monitor, so that combined
// wait is a plain predicate wait. Failure messages name the pthread call that failed.
#include "threads/Sync.h"
#include "log/Log.h"
#include "threads/Clock.h"

#include <cerrno>
#include <cstdint>
#include <pthread.h>
#include <time.h>

namespace vantor {

namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

timespec deadlineAfter(uint32_t milliseconds) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += milliseconds / 1000;
    ts.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// MutexOLD

struct MutexOLD::Impl {
    pthread_mutex_t guard;
    pthread_cond_t changed; // lock released or event set
    bool owned = false;
    pthread_t owner{};
    uint64_t depth = 0;
    bool signalled = false; // the Condition's manual-reset event

    bool ownedByMe() const { return owned && pthread_equal(owner, pthread_self()); }
    bool availableToMe() const { return !owned || pthread_equal(owner, pthread_self()); }
    void take() {
        if (!owned) {
            owned = true;
            owner = pthread_self();
        }
        ++depth;
    }
    // One level; true if the caller owned it.
    bool giveBack() {
        if (!ownedByMe()) return false;
        if (--depth == 0) {
            owned = false;
            pthread_cond_broadcast(&changed);
        }
        return true;
    }
    // Waits for the predicate with `guard` held; false on time-out. Errors other than time-out
    // are reported through `error`.
    template <class Pred> bool waitUntil(Pred pred, const timespec* deadline, int& error) {
        error = 0;
        while (!pred()) {
            int rc = deadline ? pthread_cond_timedwait(&changed, &guard, deadline)
                              : pthread_cond_wait(&changed, &guard);
            if (rc == ETIMEDOUT) return pred();
            if (rc != 0) {
                error = rc;
                return false;
            }
        }
        return true;
    }
};

namespace {

// Takes the guard of a mutex's state; logs and answers false if the state never came up or the
// lock fails.
template <class State> bool enterGuard(State* state, const std::string& name) {
    const int rc = state ? pthread_mutex_lock(&state->guard) : EINVAL;
    if (rc != 0) logError("pthread_mutex_lock failed with ", rc, " for ", name);
    return rc == 0;
}

} // namespace

MutexOLD::MutexOLD(const std::string& name) : name_(name) {
    auto* impl = new Impl();
    int rc = pthread_mutex_init(&impl->guard, nullptr);
    if (rc != 0) {
        logError("pthread_mutex_init failed with ", rc, " for ", name_);
        delete impl;
        return;
    }
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    rc = pthread_cond_init(&impl->changed, &attr);
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        logError("pthread_cond_init failed with ", rc, " for ", name_);
        pthread_mutex_destroy(&impl->guard);
        delete impl;
        return;
    }
    impl_ = impl;
    valid_ = true;
}

MutexOLD::~MutexOLD() {
    if (!impl_) return;
    pthread_cond_destroy(&impl_->changed);
    pthread_mutex_destroy(&impl_->guard);
    delete impl_;
}

bool MutexOLD::IsValid() {
    return valid_;
}

bool MutexOLD::Lock() {
    if (!enterGuard(impl_, name_)) return false;
    int error = 0;
    bool ok = impl_->waitUntil([this] { return impl_->availableToMe(); }, nullptr, error);
    if (ok) impl_->take();
    pthread_mutex_unlock(&impl_->guard);
    if (!ok) logError("pthread_cond_wait failed with ", error, " for ", name_);
    return ok;
}

bool MutexOLD::TryLock() {
    if (!enterGuard(impl_, name_)) return false;
    bool ok = impl_->availableToMe();
    if (ok) impl_->take();
    pthread_mutex_unlock(&impl_->guard);
    return ok;
}

void MutexOLD::Unlock() {
    if (!impl_) {
        logError("pthread_mutex_unlock failed with ", EINVAL, " for ", name_);
        return;
    }
    if (!enterGuard(impl_, name_)) return;
    bool ok = impl_->giveBack();
    pthread_mutex_unlock(&impl_->guard);
    if (!ok) logError("pthread_mutex_unlock failed with ", EPERM, " for ", name_);
}

// ---------------------------------------------------------------------------------------------
// Mutex

struct Mutex::Impl {
    pthread_mutex_t mutex;
};

Mutex::Mutex(const std::string& name) : name_(name) {
    auto* impl = new Impl();
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&impl->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        logError("pthread_mutex_init failed with ", rc, " for ", name_);
        delete impl;
        return;
    }
    impl_ = impl;
    valid_ = true;
}

Mutex::~Mutex() {
    if (!impl_) return;
    pthread_mutex_destroy(&impl_->mutex);
    delete impl_;
}

bool Mutex::IsValid() {
    return valid_;
}

bool Mutex::Lock() {
    int rc = impl_ ? pthread_mutex_lock(&impl_->mutex) : EINVAL;
    if (rc != 0) {
        logError("pthread_mutex_lock failed with ", rc, " for ", name_);
        return false;
    }
    return true;
}

bool Mutex::TryLock() {
    int rc = impl_ ? pthread_mutex_trylock(&impl_->mutex) : EINVAL;
    if (rc == 0) return true;
    if (rc != EBUSY) logError("pthread_mutex_trylock failed with ", rc, " for ", name_);
    return false;
}

void Mutex::Unlock() {
    int rc = impl_ ? pthread_mutex_unlock(&impl_->mutex) : EINVAL;
    if (rc != 0) logError("pthread_mutex_unlock failed with ", rc, " for ", name_);
}

// ---------------------------------------------------------------------------------------------
// Condition: the event is MutexOLD::Impl::signalled; EventImpl carries nothing on POSIX.

struct Condition::EventImpl {};

Condition::Condition(const std::string& name) : MutexOLD(name) {
    if (impl_)
        event_ = new EventImpl();
    else
        logError("pthread_cond_init failed with ", EINVAL, " for ", name_);
}

Condition::~Condition() {
    delete event_;
}

bool Condition::wait() {
    if (!impl_) {
        logError("pthread_cond_wait failed with ", EINVAL, " for ", name_);
        return false;
    }
    pthread_mutex_lock(&impl_->guard);
    impl_->giveBack();
    int error = 0;
    bool ok = impl_->waitUntil([this] { return impl_->availableToMe() && impl_->signalled; }, nullptr, error);
    if (ok) impl_->take();
    impl_->signalled = false;
    pthread_mutex_unlock(&impl_->guard);
    if (!ok) logError("pthread_cond_wait failed with ", error, " for ", name_);
    return ok;
}

bool Condition::waitFor(uint32_t milliseconds) {
    if (!impl_) {
        logError("pthread_cond_timedwait failed with ", EINVAL, " for ", name_);
        return false;
    }
    timespec deadline = deadlineAfter(milliseconds);
    pthread_mutex_lock(&impl_->guard);
    int error = 0;
    bool ok = impl_->waitUntil([this] { return impl_->signalled; },
                               milliseconds == kInfinite ? nullptr : &deadline, error);
    impl_->signalled = false;
    pthread_mutex_unlock(&impl_->guard);
    if (error != 0) logError("pthread_cond_timedwait failed with ", error, " for ", name_);
    return ok;
}

void Condition::signal() {
    if (!signalQuiet()) logError("Condition::signal() set Event error ", EINVAL);
}

bool Condition::signalQuiet() {
    if (!impl_) return false;
    if (pthread_mutex_lock(&impl_->guard) != 0) return false;
    impl_->signalled = true;
    pthread_cond_broadcast(&impl_->changed);
    pthread_mutex_unlock(&impl_->guard);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Semaphore: waitFor is the only part that touches the monitor directly.

bool Semaphore::waitFor(uint32_t milliseconds) {
    if (!impl_) {
        logError("pthread_cond_timedwait failed with ", EINVAL, " for ", name_);
        return false;
    }
    timespec deadline = deadlineAfter(milliseconds);
    pthread_mutex_lock(&impl_->guard);
    if (!impl_->giveBack()) logError("pthread_mutex_unlock failed with ", EPERM, " for ", name_);
    int error = 0;
    bool woken = impl_->waitUntil([this] { return impl_->availableToMe() && impl_->signalled; },
                                  milliseconds == kInfinite ? nullptr : &deadline, error);
    if (!woken) {
        if (error != 0) logError("pthread_cond_timedwait failed with ", error, " for ", name_);
        // Back with the lock held in every case.
        int ignored = 0;
        impl_->waitUntil([this] { return impl_->availableToMe(); }, nullptr, ignored);
    }
    impl_->take();
    impl_->signalled = false;
    pthread_mutex_unlock(&impl_->guard);
    return woken;
}

} // namespace vantor
