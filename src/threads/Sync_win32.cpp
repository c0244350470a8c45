// Win32 side of the synchronisation classes: critical section, kernel mutex, manual-reset event.
#include "threads/Sync.h"
#include "log/Log.h"

#include <windows.h>

namespace vantor {

namespace {

bool ownsAfterWait(DWORD result, DWORD objects) {
    // An abandoned mutex is still ours: treating it as a failure would leave it locked for good.
    return result < WAIT_OBJECT_0 + objects ||
           (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + objects);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// MutexOLD

struct MutexOLD::Impl {
    HANDLE mutex = nullptr;
};

MutexOLD::MutexOLD(const std::string& name) : name_(name), impl_(new Impl()) {
    impl_->mutex = CreateMutexW(nullptr, FALSE, nullptr);
    if (!impl_->mutex) logError("CreateMutex failed with ", GetLastError(), " for ", name_);
    valid_ = impl_->mutex != nullptr;
}

MutexOLD::~MutexOLD() {
    if (impl_->mutex) CloseHandle(impl_->mutex);
    delete impl_;
}

bool MutexOLD::IsValid() {
    return valid_;
}

bool MutexOLD::Lock() {
    DWORD result = WaitForSingleObject(impl_->mutex, INFINITE);
    if (ownsAfterWait(result, 1)) return true;
    logError("WaitForSingleObject failed with ", result, " for ", name_);
    return false;
}

bool MutexOLD::TryLock() {
    DWORD result = WaitForSingleObject(impl_->mutex, 0);
    if (ownsAfterWait(result, 1)) return true;
    if (result == WAIT_TIMEOUT) return false;
    logError("WaitForSingleObject failed with ", result, " for ", name_);
    return false;
}

void MutexOLD::Unlock() {
    if (!ReleaseMutex(impl_->mutex)) logError("ReleaseMutex failed with ", GetLastError(), " for ", name_);
}

// ---------------------------------------------------------------------------------------------
// Mutex

struct Mutex::Impl {
    CRITICAL_SECTION section;
};

Mutex::Mutex(const std::string& name) : name_(name), impl_(new Impl()) {
    InitializeCriticalSection(&impl_->section);
    valid_ = true;
}

Mutex::~Mutex() {
    DeleteCriticalSection(&impl_->section);
    delete impl_;
}

bool Mutex::IsValid() {
    return valid_;
}

bool Mutex::Lock() {
    EnterCriticalSection(&impl_->section);
    return true;
}

bool Mutex::TryLock() {
    return TryEnterCriticalSection(&impl_->section) != 0;
}

void Mutex::Unlock() {
    LeaveCriticalSection(&impl_->section);
}

// ---------------------------------------------------------------------------------------------
// Condition

struct Condition::EventImpl {
    HANDLE event = nullptr;
};

Condition::Condition(const std::string& name) : MutexOLD(name), event_(new EventImpl()) {
    event_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event_->event) logError("CreateEvent failed with ", GetLastError(), " for ", name_);
}

Condition::~Condition() {
    if (event_->event) CloseHandle(event_->event);
    delete event_;
}

bool Condition::wait() {
    ReleaseMutex(impl_->mutex);
    HANDLE both[2] = {impl_->mutex, event_->event};
    DWORD result = WaitForMultipleObjects(2, both, TRUE, INFINITE);
    bool ok = ownsAfterWait(result, 2);
    if (!ok) logError("WaitForMultipleObjects failed with ", GetLastError(), " for ", name_);
    ResetEvent(event_->event);
    return ok;
}

bool Condition::waitFor(uint32_t milliseconds) {
    DWORD result = WaitForSingleObject(event_->event, milliseconds);
    bool ok = result == WAIT_OBJECT_0;
    if (!ok && result != WAIT_TIMEOUT)
        logError("WaitForSingleObject failed with ", GetLastError(), " for ", name_);
    if (!ResetEvent(event_->event)) logError("Condition::waitFor() reset Event error ", GetLastError());
    return ok;
}

void Condition::signal() {
    if (!SetEvent(event_->event)) logError("Condition::signal() set Event error ", GetLastError());
}

bool Condition::signalQuiet() {
    return SetEvent(event_->event) != 0;
}

// ---------------------------------------------------------------------------------------------
// Semaphore

bool Semaphore::waitFor(uint32_t milliseconds) {
    if (!ReleaseMutex(impl_->mutex)) logError("ReleaseMutex failed with ", GetLastError(), " for ", name_);
    HANDLE both[2] = {impl_->mutex, event_->event};
    DWORD result = WaitForMultipleObjects(2, both, TRUE, milliseconds);
    bool woken = ownsAfterWait(result, 2);
    if (!woken) {
        if (result != WAIT_TIMEOUT)
            logError("WaitForMultipleObjects failed with ", GetLastError(), " for ", name_);
        // Back with the lock held in every case.
        WaitForSingleObject(impl_->mutex, INFINITE);
    }
    if (!ResetEvent(event_->event)) logError("Semaphore::waitFor() reset Event error ", GetLastError());
    return woken;
}

} // namespace vantor
