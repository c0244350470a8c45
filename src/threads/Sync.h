// Locks, wake-up signals and counting semaphores. Each object carries a name used only in its
// failure messages; system-call failures are logged as error lines and reported as false, never
// thrown. Win32: critical section / kernel mutex / manual-reset event. POSIX: recursive pthread
// mutex and a condition variable emulating the same semantics.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// Recursive lock on a kernel mutex object; exists so Condition can wait for the lock and its
// signal at once.
class MutexOLD {
public:
    explicit MutexOLD(const std::string& name);
    virtual ~MutexOLD();
    MutexOLD(const MutexOLD&) = delete;
    MutexOLD& operator=(const MutexOLD&) = delete;

    virtual bool IsValid();
    virtual bool Lock();
    virtual bool TryLock();
    virtual void Unlock();

    const std::string& name() const { return name_; }

protected:
    struct Impl;
    std::string name_;
    bool valid_ = false;
    Impl* impl_ = nullptr;
};

// Recursive lock on a critical section; the lock of choice for shared state. Always valid.
class Mutex {
public:
    explicit Mutex(const std::string& name);
    virtual ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    virtual bool IsValid();
    virtual bool Lock();
    virtual bool TryLock();
    virtual void Unlock();

    const std::string& name() const { return name_; }

private:
    struct Impl;
    std::string name_;
    bool valid_ = false;
    Impl* impl_ = nullptr;
};

// The inherited MutexOLD is the condition's lock; a manual-reset event is its wake-up signal.
// A signal given while nobody waits is remembered until a waiter resets it.
class Condition : public MutexOLD {
public:
    explicit Condition(const std::string& name);
    ~Condition() override;

    // Caller holds the lock. Releases it, waits for lock + signal together, resets the signal.
    virtual bool wait();
    // Waits on the signal only (the lock is neither released nor taken), then resets it.
    virtual bool waitFor(uint32_t milliseconds);
    virtual void signal();
    virtual bool signalQuiet();

protected:
    struct EventImpl;
    EventImpl* event_ = nullptr;
};

// Counting semaphore on a Condition; maximum 0 means unbounded.
class Semaphore : public Condition {
public:
    Semaphore(const std::string& name, uint64_t initialCount, uint64_t maximum);
    ~Semaphore() override;

    // Caller holds the lock; releases it, waits up to the time for lock + signal, returns with
    // the lock held again in every case.
    bool waitFor(uint32_t milliseconds) override;
    virtual bool acquire();
    virtual bool tryAcquire();
    virtual bool acquireFor(uint32_t milliseconds);
    virtual bool release();

    uint64_t count(); // for diagnostics and tests, read under the lock

private:
    uint64_t count_;
    uint64_t maximum_;
};

// Scoped lock: Lock() in the constructor, Unlock() in the destructor only if Lock() succeeded.
class VxMutexLocker {
public:
    explicit VxMutexLocker(Mutex& mutex) : mutex_(&mutex), locked_(mutex.Lock()) {}
    explicit VxMutexLocker(MutexOLD& mutex) : old_(&mutex), locked_(mutex.Lock()) {}
    ~VxMutexLocker() {
        if (!locked_) return;
        if (mutex_) mutex_->Unlock();
        else old_->Unlock();
    }
    VxMutexLocker(const VxMutexLocker&) = delete;
    VxMutexLocker& operator=(const VxMutexLocker&) = delete;

    bool isLocked() const { return locked_; }

private:
    Mutex* mutex_ = nullptr;
    MutexOLD* old_ = nullptr;
    bool locked_;
};

} // namespace vantor
