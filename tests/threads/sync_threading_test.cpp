// Lock ownership across threads, the combined lock + signal wait, and semaphores with several
// waiters.
#include "support/LogCapture.h"
#include "threads/Clock.h"
#include "threads/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

template <class Lock> bool tryLockElsewhere(Lock& lock) {
    return std::async(std::launch::async,
                      [&] {
                          bool got = lock.TryLock();
                          if (got) lock.Unlock();
                          return got;
                      })
        .get();
}

} // namespace

TEST(LocksAcrossThreads, TryLockOnHeldMutexOLDFailsSilently) {
    test::LogCapture log;
    MutexOLD old("held");
    ASSERT_TRUE(old.Lock());
    EXPECT_FALSE(tryLockElsewhere(old));
    EXPECT_TRUE(log.messages().empty());
    old.Unlock();
    EXPECT_TRUE(tryLockElsewhere(old));
    EXPECT_TRUE(log.messages().empty());
}

TEST(LocksAcrossThreads, RecursiveHoldIsReleasedOnlyByTheLastUnlock) {
    Mutex mutex("m");
    MutexOLD old("old");
    mutex.Lock();
    mutex.Lock();
    old.Lock();
    old.Lock();
    mutex.Unlock();
    old.Unlock();
    EXPECT_FALSE(tryLockElsewhere(mutex));
    EXPECT_FALSE(tryLockElsewhere(old));
    mutex.Unlock();
    old.Unlock();
    EXPECT_TRUE(tryLockElsewhere(mutex));
    EXPECT_TRUE(tryLockElsewhere(old));
}

TEST(LocksAcrossThreads, LockWaitsForTheHolder) {
    for (int kind = 0; kind < 2; ++kind) {
        Mutex mutex("m");
        MutexOLD old("old");
        auto lock = [&] { return kind == 0 ? mutex.Lock() : old.Lock(); };
        auto unlock = [&] { kind == 0 ? mutex.Unlock() : old.Unlock(); };
        ASSERT_TRUE(lock());
        std::atomic<bool> acquired{false};
        std::atomic<bool> lockFailed{false};
        std::thread other([&] {
            if (!lock()) {
                lockFailed = true;
                return;
            }
            acquired = true;
            unlock();
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(acquired.load());
        unlock();
        other.join();
        EXPECT_FALSE(lockFailed.load());
        EXPECT_TRUE(acquired.load());
    }
}

TEST(ConditionAcrossThreads, WaitNeedsTheSignalAndTheLockTogether) {
    Condition condition("cond");
    std::atomic<int> stage{0};
    std::atomic<bool> woke{false};
    std::atomic<bool> waited{false};
    std::atomic<int> stageOnWaking{0};
    std::thread waiter([&] {
        if (!condition.Lock()) {
            stage = -1; // lets the test go on to fail instead of waiting for stage 1
            return;
        }
        stage = 1;
        waited = condition.wait();
        woke = true;
        stageOnWaking = stage.load();
        condition.Unlock();
    });
    while (stage.load() == 0)
        std::this_thread::yield();
    if (stage.load() != 1) waiter.join();
    ASSERT_EQ(stage.load(), 1) << "the waiter could not take the lock";
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(condition.Lock()); // the waiter released it inside wait()
    condition.signal();
    stage = 2;
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(woke.load()); // signalled, but the lock is still ours
    stage = 3;
    condition.Unlock();
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_TRUE(waited.load());
    EXPECT_EQ(stageOnWaking.load(), 3); // the signaller had let go of the lock
}

TEST(ConditionAcrossThreads, WaitForIgnoresTheLock) {
    Condition condition("cond");
    std::promise<void> held, done;
    std::thread holder([&] {
        condition.Lock();
        held.set_value();
        done.get_future().wait();
        condition.Unlock();
    });
    held.get_future().wait();
    condition.signal();
    EXPECT_TRUE(condition.waitFor(1));
    done.set_value();
    holder.join();
}

TEST(ConditionAcrossThreads, SignalFromAnotherThreadWakesWaitFor) {
    Condition condition("cond");
    std::thread signaller([&] {
        std::this_thread::sleep_for(30ms);
        condition.signal();
    });
    const double start = millisecondClock();
    EXPECT_TRUE(condition.waitFor(5000));
    EXPECT_LT(millisecondClock() - start, 4000.0);
    signaller.join();
}

TEST(SemaphoreAcrossThreads, AcquireForTimesOutAndLeavesTheLockFree) {
    Semaphore semaphore("sem", 0, 0);
    const double start = millisecondClock();
    EXPECT_FALSE(semaphore.acquireFor(100));
    const double elapsed = millisecondClock() - start;
    EXPECT_GE(elapsed, 95.0);
    EXPECT_LT(elapsed, 1000.0);
    EXPECT_TRUE(tryLockElsewhere(semaphore));
}

TEST(SemaphoreAcrossThreads, ReleaseWakesAcquireFor) {
    Semaphore semaphore("sem", 0, 1);
    std::atomic<bool> released{false};
    std::thread releaser([&] {
        std::this_thread::sleep_for(40ms);
        released = semaphore.release();
    });
    const double start = millisecondClock();
    EXPECT_TRUE(semaphore.acquireFor(5000));
    EXPECT_LT(millisecondClock() - start, 4000.0);
    releaser.join();
    EXPECT_TRUE(released.load());
    EXPECT_EQ(semaphore.count(), 0u);
    EXPECT_TRUE(tryLockElsewhere(semaphore));
}

TEST(SemaphoreAcrossThreads, AcquireForGivesUpWhenOthersTakeEveryUnit) {
    // Units keep arriving but another thread takes each one first: the timed acquire must
    // still end near its time instead of restarting waits for ever.
    Semaphore semaphore("sem", 0, 0);
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop.load()) {
            semaphore.Lock();
            semaphore.release();    // signals while we hold the lock...
            semaphore.tryAcquire(); // ...and takes the unit back before anyone else can
            semaphore.Unlock();
            std::this_thread::sleep_for(1ms);
        }
    });
    const double start = millisecondClock();
    bool got = semaphore.acquireFor(100);
    const double elapsed = millisecondClock() - start;
    stop = true;
    churn.join();
    EXPECT_FALSE(got);
    EXPECT_LT(elapsed, 1000.0);
}

TEST(SemaphoreAcrossThreads, EveryWaiterGetsAUnitWhenReleasesComeTogether) {
    Semaphore semaphore("sem", 0, 0);
    std::atomic<int> acquired{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (semaphore.acquireFor(3000)) acquired.fetch_add(1);
        });
    }
    std::this_thread::sleep_for(100ms); // all three are waiting now
    semaphore.Lock();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(semaphore.release());
    semaphore.Unlock();
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(acquired.load(), 3);
    EXPECT_EQ(semaphore.count(), 0u);
}

TEST(SemaphoreAcrossThreads, ProducerConsumerLosesNoUnit) {
    Semaphore semaphore("sem", 0, 4);
    constexpr int kUnits = 2000;
    std::atomic<int> consumed{0};
    std::vector<std::thread> consumers;
    for (int c = 0; c < 2; ++c) {
        consumers.emplace_back([&] {
            while (consumed.load() < kUnits) {
                if (semaphore.acquireFor(50)) consumed.fetch_add(1);
            }
        });
    }
    int produced = 0;
    while (produced < kUnits) {
        if (semaphore.release())
            ++produced;
        else
            std::this_thread::yield(); // at the maximum: wait for the consumers
    }
    for (auto& consumer : consumers)
        consumer.join();
    EXPECT_EQ(consumed.load(), kUnits);
    EXPECT_EQ(semaphore.count(), 0u);
}
