// Lazily created process-wide instance with a creating flag and an alive flag. A get during the
// first construction returns null instead of recursing; destroy lets a later get build afresh.
// The pointer and flags are atomics because an engine may call in from its own threads; creation
// and destruction themselves happen on the opcode thread.
#pragma once

#include <atomic>

namespace vantor {

template <class T> class Singleton {
public:
    static T* get() {
        T* current = instance_.load(std::memory_order_acquire);
        if (!current && !creating_.exchange(true, std::memory_order_acq_rel)) {
            current = new T();
            instance_.store(current, std::memory_order_release);
            alive_.store(true, std::memory_order_release);
        }
        return current;
    }
    // The instance if it exists, without creating one.
    static T* peek() { return instance_.load(std::memory_order_acquire); }
    static bool isAlive() { return alive_.load(std::memory_order_acquire); }
    // deleteIt false: forget the instance without deleting it (its own thread ends it).
    static void destroy(bool deleteIt = true) {
        if (deleteIt) delete instance_.load(std::memory_order_acquire);
        instance_.store(nullptr, std::memory_order_release);
        creating_.store(false, std::memory_order_release);
        alive_.store(false, std::memory_order_release);
    }

protected:
    Singleton() = default;
    virtual ~Singleton() = default;

private:
    static inline std::atomic<T*> instance_{nullptr};
    static inline std::atomic<bool> creating_{false};
    static inline std::atomic<bool> alive_{false};
};

} // namespace vantor
