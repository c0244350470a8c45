// A worker thread that owns itself: created on the heap, started once, never joined. When
// Entry() and onExit() have returned, the thread deletes the object.
#pragma once

#include <cstdint>

namespace vantor {

class ThreadDetached {
public:
    explicit ThreadDetached(bool flag = false);
    virtual ~ThreadDetached();
    ThreadDetached(const ThreadDetached&) = delete;
    ThreadDetached& operator=(const ThreadDetached&) = delete;

    // 0..100; takes effect when the thread starts. Never set: lowest.
    void setPriority(uint32_t value) { priority_ = value; }
    uint32_t priority() const { return priority_; }
    // False if a thread was already created, or creation failed ("CreateThread failed").
    bool start();
    uint32_t threadId() const { return threadId_; }

    // System thread priority for a 0..100 value: -2 lowest .. +2 highest, above 100 normal.
    static int systemPriorityFor(uint32_t priority);

protected:
    virtual void onExit() {}
    virtual void Entry() = 0;

private:
    struct Impl;
    friend struct ThreadDetachedLauncher; // the platform's thread routine
    static void run(ThreadDetached* self);

    uint32_t priority_ = 0;
    bool flag_;
    Impl* handle_ = nullptr;
    uint32_t threadId_ = 0;
};

} // namespace vantor
