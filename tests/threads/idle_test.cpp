#include "threads/IdleGenerator.h"
#include "threads/TimerRectifier.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using vantor::GUIIdleGenerator;
using vantor::GUIIdleListener;
using vantor::NonGUIIdleGenerator;
using vantor::TimerRectifier;

namespace {

// A hand-driven seconds clock.
struct FakeClock {
    std::shared_ptr<double> now = std::make_shared<double>(0.0);
    TimerRectifier::ClockFunction fn() const {
        auto n = now;
        return [n] { return *n; };
    }
    void advance(double seconds) { *now += seconds; }
};

struct RecordingListener : GUIIdleListener {
    std::vector<double> calls;
    void onIdle(double elapsedMs) override { calls.push_back(elapsedMs); }
};

constexpr double kPeriod = 1.0 / 60.0;

} // namespace

TEST(TimerRectifierTest, BurstOfCallsYieldsOneTruePerPeriod) {
    FakeClock clock;
    TimerRectifier rectifier(60, clock.fn());
    EXPECT_DOUBLE_EQ(rectifier.period(), kPeriod);
    double elapsed = -1;
    EXPECT_FALSE(rectifier.tick(elapsed)); // no time has passed
    EXPECT_EQ(elapsed, 0.0);

    int trues = 0;
    for (int i = 0; i < 1000; ++i) { // one second in 1 ms steps
        clock.advance(0.001);
        if (rectifier.tick(elapsed)) {
            ++trues;
            EXPECT_NEAR(elapsed, 0.017, 1e-9); // the first whole period of 1 ms steps
        }
    }
    EXPECT_EQ(trues, 1000 / 17);
}

TEST(TimerRectifierTest, RequestsOneMillisecondApartAfterATrueReturnFalse) {
    FakeClock clock;
    TimerRectifier rectifier(60, clock.fn());
    clock.advance(0.020);
    ASSERT_TRUE(rectifier.tick());
    clock.advance(0.001);
    EXPECT_FALSE(rectifier.tick());
    clock.advance(0.001);
    EXPECT_FALSE(rectifier.tick());
}

TEST(TimerRectifierTest, LongGapCountsAsOnePeriod) {
    FakeClock clock;
    TimerRectifier rectifier(60, clock.fn());
    clock.advance(5.0);
    double elapsed = 0;
    ASSERT_TRUE(rectifier.tick(elapsed));
    EXPECT_NEAR(elapsed, kPeriod, 1e-12);

    // With accumulation pending, the gap adds one period to it.
    clock.advance(0.010);
    ASSERT_FALSE(rectifier.tick(elapsed));
    clock.advance(5.0);
    ASSERT_TRUE(rectifier.tick(elapsed));
    EXPECT_NEAR(elapsed, kPeriod + 0.010, 1e-9);
    clock.advance(0.001); // accumulation was reset by the true
    EXPECT_FALSE(rectifier.tick(elapsed));
    EXPECT_NEAR(elapsed, 0.001, 1e-9);
}

TEST(TimerRectifierTest, ClockRunningBackwardsCountsAsNoTime) {
    FakeClock clock;
    TimerRectifier rectifier(60, clock.fn());
    clock.advance(-3.0);
    double elapsed = -1;
    EXPECT_FALSE(rectifier.tick(elapsed));
    EXPECT_EQ(elapsed, 0.0);
    // Time is measured from the latest time seen, not from the jump back.
    clock.advance(3.0 + 0.010);
    EXPECT_FALSE(rectifier.tick(elapsed));
    EXPECT_NEAR(elapsed, 0.010, 1e-9);
}

TEST(GUIIdleGeneratorTest, ListenersRunOnlyWhenAPeriodHasPassed) {
    FakeClock clock;
    GUIIdleGenerator generator(60, clock.fn());
    RecordingListener a, b;
    generator.add(&a);
    generator.add(&b);
    generator.add(nullptr);
    EXPECT_EQ(generator.listenerCount(), 2u);

    generator.tick();
    EXPECT_TRUE(a.calls.empty());
    clock.advance(0.020);
    generator.tick();
    ASSERT_EQ(a.calls.size(), 1u);
    ASSERT_EQ(b.calls.size(), 1u);
    EXPECT_NEAR(a.calls[0], 1000.0 * kPeriod, 1e-9); // step is clamped to one period, in ms
    clock.advance(0.001);
    generator.tick();
    EXPECT_EQ(a.calls.size(), 1u);
}

TEST(GUIIdleGeneratorTest, RemovingAListenerAddedTwiceRemovesOnlyTheFirst) {
    FakeClock clock;
    GUIIdleGenerator generator(60, clock.fn());
    RecordingListener a, b;
    generator.add(&a);
    generator.add(&b);
    generator.add(&a);
    EXPECT_TRUE(generator.remove(&a));
    EXPECT_EQ(generator.listenerCount(), 2u);
    clock.advance(1.0);
    generator.tick();
    EXPECT_EQ(a.calls.size(), 1u); // still there once
    EXPECT_EQ(b.calls.size(), 1u);
    EXPECT_TRUE(generator.remove(&a));
    EXPECT_FALSE(generator.remove(&a));
    EXPECT_FALSE(generator.remove(nullptr));
    EXPECT_EQ(generator.listenerCount(), 1u);
}

TEST(NonGUIIdleGeneratorTest, CallsEveryListenerOnEveryRequestInOrder) {
    NonGUIIdleGenerator generator;
    std::vector<int> order;
    struct Tagged : GUIIdleListener {
        std::vector<int>* order;
        int tag;
        Tagged(std::vector<int>* o, int t) : order(o), tag(t) {}
        void onIdle(double) override { order->push_back(tag); }
    } one(&order, 1), two(&order, 2);
    generator.add(&one);
    generator.add(&two);
    generator.add(&one);
    generator.add(nullptr);
    generator.tick();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    EXPECT_TRUE(generator.remove(&one));
    order.clear();
    generator.tick();
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    EXPECT_FALSE(generator.remove(nullptr));
}

TEST(NonGUIIdleGeneratorTest, ListenersMayComeAndGoFromAnotherThread) {
    NonGUIIdleGenerator generator;
    RecordingListener steady;
    generator.add(&steady);
    int notRemoved = 0;
    std::thread other([&] {
        for (int i = 0; i < 2000; ++i) {
            RecordingListener transient;
            generator.add(&transient);
            if (!generator.remove(&transient)) ++notRemoved;
        }
    });
    for (int i = 0; i < 2000; ++i)
        generator.tick();
    other.join();
    EXPECT_EQ(notRemoved, 0);
    EXPECT_EQ(steady.calls.size(), 2000u);
    EXPECT_EQ(generator.listenerCount(), 1u);
}
