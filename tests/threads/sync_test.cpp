// Single-thread semantics of the locks, the remembered signal and the semaphore counters.
#include "support/LogCapture.h"
#include "threads/Clock.h"
#include "threads/Sync.h"

#include <gtest/gtest.h>

using namespace vantor;

TEST(Locks, BothKindsAreRecursive) {
    Mutex mutex("m");
    MutexOLD old("old");
    EXPECT_TRUE(mutex.IsValid());
    EXPECT_TRUE(old.IsValid());
    EXPECT_EQ(mutex.name(), "m");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(mutex.Lock());
        EXPECT_TRUE(old.Lock());
    }
    EXPECT_TRUE(mutex.TryLock());
    EXPECT_TRUE(old.TryLock());
    for (int i = 0; i < 4; ++i) {
        mutex.Unlock();
        old.Unlock();
    }
}

TEST(Locks, UnlockingAMutexOLDNotHeldIsLoggedNotFatal) {
    test::LogCapture log;
    MutexOLD old("unheld");
    old.Unlock();
    auto messages = log.messages();
    ASSERT_EQ(messages.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(messages[0].rfind("ReleaseMutex failed with ", 0), 0u) << messages[0];
#else
    EXPECT_EQ(messages[0].rfind("pthread_mutex_unlock failed with ", 0), 0u) << messages[0];
#endif
    EXPECT_NE(messages[0].find(" for unheld"), std::string::npos);
    // Still usable afterwards.
    EXPECT_TRUE(old.Lock());
    old.Unlock();
}

TEST(Locks, LockerUnlocksOnlyWhatItLocked) {
    Mutex mutex("locker");
    {
        VxMutexLocker locker(mutex);
        EXPECT_TRUE(locker.isLocked());
    }
    MutexOLD old("locker-old");
    {
        VxMutexLocker locker(old);
        EXPECT_TRUE(locker.isLocked());
    }
    // Balanced: a single Unlock now must complain for the kernel-style mutex.
    test::LogCapture log;
    old.Unlock();
    EXPECT_EQ(log.count("failed with"), 1u);
}

TEST(ConditionSignal, RememberedUntilAWaiterResetsIt) {
    Condition condition("cond");
    EXPECT_TRUE(condition.IsValid());
    condition.signal();
    const double start = millisecondClock();
    EXPECT_TRUE(condition.waitFor(1));
    EXPECT_LT(millisecondClock() - start, 500.0);
    EXPECT_FALSE(condition.waitFor(1));
    EXPECT_TRUE(condition.signalQuiet());
    EXPECT_TRUE(condition.signalQuiet()); // setting a set event is fine
    EXPECT_TRUE(condition.waitFor(0));
    EXPECT_FALSE(condition.waitFor(0));
}

TEST(ConditionSignal, WaitAfterSignalReturnsAtOnceWithTheLockHeld) {
    Condition condition("cond");
    ASSERT_TRUE(condition.Lock());
    condition.signal();
    EXPECT_TRUE(condition.wait());
    EXPECT_FALSE(condition.waitFor(0)); // wait reset the signal
    condition.Unlock();
    // Exactly one level was held: a further unlock complains.
    test::LogCapture log;
    condition.Unlock();
    EXPECT_EQ(log.count("failed with"), 1u);
}

TEST(ConditionSignal, WaitForTimesOutAfterAboutTheTimeGiven) {
    Condition condition("cond");
    const double start = millisecondClock();
    EXPECT_FALSE(condition.waitFor(60));
    const double elapsed = millisecondClock() - start;
    EXPECT_GE(elapsed, 55.0);
    EXPECT_LT(elapsed, 1000.0);
}

TEST(SemaphoreCount, MaximumRefusesWithoutChangingTheCount) {
    Semaphore semaphore("sem", 2, 2);
    EXPECT_EQ(semaphore.count(), 2u);
    EXPECT_FALSE(semaphore.release());
    EXPECT_EQ(semaphore.count(), 2u);
    EXPECT_TRUE(semaphore.tryAcquire());
    EXPECT_TRUE(semaphore.release());
    EXPECT_FALSE(semaphore.release());
    EXPECT_EQ(semaphore.count(), 2u);
}

TEST(SemaphoreCount, MaximumZeroIsUnbounded) {
    Semaphore semaphore("sem", 0, 0);
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(semaphore.release());
    EXPECT_EQ(semaphore.count(), 5000u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(semaphore.tryAcquire());
    EXPECT_FALSE(semaphore.tryAcquire());
}

TEST(SemaphoreCount, AcquireVariantsTakeOneUnitEach) {
    Semaphore semaphore("sem", 3, 0);
    EXPECT_TRUE(semaphore.acquire());
    EXPECT_TRUE(semaphore.tryAcquire());
    EXPECT_TRUE(semaphore.acquireFor(0));
    EXPECT_EQ(semaphore.count(), 0u);
    EXPECT_FALSE(semaphore.tryAcquire());
    EXPECT_FALSE(semaphore.acquireFor(0));
}

TEST(SemaphoreCount, WaitForReturnsHoldingTheLockAfterATimeOut) {
    Semaphore semaphore("sem", 0, 0);
    ASSERT_TRUE(semaphore.Lock());
    EXPECT_FALSE(semaphore.waitFor(20));
    semaphore.Unlock();
    test::LogCapture log;
    semaphore.Unlock(); // one level only
    EXPECT_EQ(log.count("failed with"), 1u);
}
