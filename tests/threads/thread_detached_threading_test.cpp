// Detached threads: one start only, Entry then onExit then self-deletion, the thread id, and the
// priority table.
#include "support/LogCapture.h"
#include "threads/Clock.h"
#include "threads/ThreadDetached.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

struct Journal {
    std::mutex mutex;
    std::vector<std::string> events;
    std::promise<void> deleted;
    std::promise<void> entered;
    std::promise<void> proceed;
    std::atomic<uint32_t> entryThread{0};
    std::atomic<int> entries{0};

    void add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
};

class Recorder : public ThreadDetached {
public:
    explicit Recorder(Journal& journal, bool holdInEntry = false) : journal_(journal), hold_(holdInEntry) {}
    ~Recorder() override {
        journal_.add("destroyed");
        journal_.deleted.set_value();
    }

protected:
    void Entry() override {
        journal_.entries.fetch_add(1);
        journal_.entryThread = currentThreadId();
        journal_.add("Entry");
        if (hold_) {
            journal_.entered.set_value();
            journal_.proceed.get_future().wait();
        }
    }
    void onExit() override { journal_.add("onExit"); }

private:
    Journal& journal_;
    bool hold_;
};

} // namespace

TEST(ThreadDetachedRun, EntryThenOnExitThenSelfDeletion) {
    Journal journal;
    auto* thread = new Recorder(journal);
    ASSERT_TRUE(thread->start());
    ASSERT_EQ(journal.deleted.get_future().wait_for(5s), std::future_status::ready);
    std::lock_guard<std::mutex> lock(journal.mutex);
    EXPECT_EQ(journal.events, (std::vector<std::string>{"Entry", "onExit", "destroyed"}));
    EXPECT_NE(journal.entryThread.load(), currentThreadId());
}

TEST(ThreadDetachedRun, SecondStartIsRefusedAndMakesNoThread) {
    Journal journal;
    auto* thread = new Recorder(journal, true);
    ASSERT_TRUE(thread->start());
    ASSERT_EQ(journal.entered.get_future().wait_for(5s), std::future_status::ready);
    // The thread is parked in Entry, so the object is still alive.
    EXPECT_FALSE(thread->start());
    EXPECT_EQ(thread->threadId(), journal.entryThread.load());
    EXPECT_NE(thread->threadId(), 0u);
    journal.proceed.set_value();
    ASSERT_EQ(journal.deleted.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(journal.entries.load(), 1);
}

TEST(ThreadDetachedRun, ManyShortThreadsAllCleanUp) {
    // Threads that end at once race their own start(): every one must still delete itself once.
    std::atomic<int> alive{0};
    struct Quick : ThreadDetached {
        explicit Quick(std::atomic<int>& n) : n_(n) { n_.fetch_add(1); }
        ~Quick() override { n_.fetch_sub(1); }
        void Entry() override {}
        std::atomic<int>& n_;
    };
    for (int i = 0; i < 50; ++i) {
        auto* t = new Quick(alive);
        t->setPriority(static_cast<uint32_t>(i * 3));
        ASSERT_TRUE(t->start());
    }
    for (int i = 0; i < 500 && alive.load() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(alive.load(), 0);
}

TEST(ThreadDetachedRun, CommonPrioritiesApplyWithoutComplaint) {
    test::LogCapture log;
    for (uint32_t priority : {0u, 60u, 80u, 100u, 150u}) {
        Journal journal;
        auto* thread = new Recorder(journal);
        thread->setPriority(priority);
        EXPECT_EQ(thread->priority(), priority);
        ASSERT_TRUE(thread->start());
        ASSERT_EQ(journal.deleted.get_future().wait_for(5s), std::future_status::ready);
    }
    EXPECT_EQ(log.count("SetThreadPriority failed"), 0u);
}

TEST(ThreadDetachedPriority, TableMapsTheScaleToFiveLevels) {
    struct Row {
        uint32_t priority;
        int expected;
    };
    for (Row row : {Row{0, -2}, Row{20, -2}, Row{21, -1}, Row{40, -1}, Row{41, 0}, Row{60, 0}, Row{61, 1},
                    Row{80, 1}, Row{81, 2}, Row{100, 2}, Row{101, 0}, Row{0xFFFFFFFFu, 0}})
        EXPECT_EQ(ThreadDetached::systemPriorityFor(row.priority), row.expected) << row.priority;
}
