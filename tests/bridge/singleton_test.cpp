// The lazily created process-wide instance: re-entrancy during construction, rebuild after
// destroy, and forgetting without deleting.
#include "util/Singleton.h"

#include <gtest/gtest.h>

using vantor::Singleton;

namespace {

struct Probe : Singleton<Probe> {
    static inline int constructed = 0;
    static inline int destroyed = 0;
    static inline bool askedDuringConstruction = false;
    static inline Probe* seenDuringConstruction = reinterpret_cast<Probe*>(1);
    Probe() {
        ++constructed;
        if (askedDuringConstruction) seenDuringConstruction = Singleton<Probe>::get();
    }
    ~Probe() override { ++destroyed; }
};

struct ProbeReset {
    ProbeReset() { reset(); }
    ~ProbeReset() {
        Probe::destroy();
        reset();
    }
    static void reset() {
        Probe::constructed = Probe::destroyed = 0;
        Probe::askedDuringConstruction = false;
        Probe::seenDuringConstruction = reinterpret_cast<Probe*>(1);
    }
};

} // namespace

TEST(Singleton, GetDuringConstructionReturnsNullInsteadOfRecursing) {
    ProbeReset reset;
    Probe::askedDuringConstruction = true;
    Probe* first = Probe::get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Probe::seenDuringConstruction, nullptr);
    EXPECT_EQ(Probe::constructed, 1);
    EXPECT_EQ(Probe::get(), first);
    EXPECT_EQ(Probe::constructed, 1);
    EXPECT_TRUE(Probe::isAlive());
}

TEST(Singleton, DestroyLetsALaterGetBuildAFreshObject) {
    ProbeReset reset;
    EXPECT_EQ(Probe::peek(), nullptr);
    EXPECT_FALSE(Probe::isAlive());
    EXPECT_EQ(Probe::constructed, 0) << "peek and isAlive create nothing";

    Probe::get();
    Probe::destroy();
    EXPECT_EQ(Probe::destroyed, 1);
    EXPECT_EQ(Probe::peek(), nullptr);
    EXPECT_FALSE(Probe::isAlive());

    Probe* second = Probe::get();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Probe::constructed, 2);
    EXPECT_TRUE(Probe::isAlive());
    EXPECT_EQ(Probe::peek(), second);
}

TEST(Singleton, DestroyWithoutDeleteForgetsTheObject) {
    ProbeReset reset;
    Probe* owned = Probe::get();
    Probe::destroy(false);
    EXPECT_EQ(Probe::destroyed, 0);
    EXPECT_EQ(Probe::peek(), nullptr);
    Probe* fresh = Probe::get();
    EXPECT_EQ(Probe::constructed, 2);
    Probe::destroy();
    delete owned; // what the object's own thread would do
    EXPECT_EQ(Probe::destroyed, 2);
    (void)fresh;
}

TEST(Singleton, DestroyWithNothingBuiltIsHarmless) {
    ProbeReset reset;
    Probe::destroy();
    Probe::destroy(false);
    EXPECT_EQ(Probe::destroyed, 0);
    EXPECT_NE(Probe::get(), nullptr);
}
