// The disk streamer: request recycling, the order of writes and closes, closing a file with work
// still queued, and shutting the thread down without losing anything handed over.
#include "RecordingTestSupport.h"

#include <gtest/gtest.h>

using namespace rectest;
using vantor::IORequest;
using vantor::Streamer;

namespace {

std::unique_ptr<JournalFile> journalFile(const fs::path& dir, Journal& j, const std::string& tag,
                                         Gate* gate = nullptr) {
    return std::make_unique<JournalFile>(dir / (tag + ".wav"), j, tag, gate);
}

} // namespace

TEST(IORequestPool, ReusesBuffersAndSetsCapacityToTheNeed) {
    StreamerReset reset;
    auto dir = scratchDir("pool");
    Journal j;
    auto file = journalFile(dir, j, "a");
    IORequest* big = IORequest::getWriteRequest(file.get(), 1000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->capacity, 4000u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(big->buffer) % 16, 0u);
    uint8_t* bigBuffer = big->buffer;
    ASSERT_TRUE(big->release());

    IORequest* small = IORequest::getWriteRequest(file.get(), 10);
    EXPECT_EQ(small, big);
    EXPECT_EQ(small->buffer, bigBuffer) << "a larger buffer is reused unchanged";
    EXPECT_EQ(small->capacity, 40u);
    EXPECT_EQ(small->count, 10u);
    EXPECT_EQ(small->getKind(), IORequest::Write);
    EXPECT_EQ(small->getFile(), file.get());
    ASSERT_TRUE(small->release());

    // Once the buffer was described as 40 bytes, a bigger need still fits its real size.
    IORequest* again = IORequest::getWriteRequest(file.get(), 1000);
    EXPECT_EQ(again->buffer, bigBuffer);
    ASSERT_TRUE(again->release());
    IORequest* larger = IORequest::getWriteRequest(file.get(), 5000);
    EXPECT_EQ(larger->capacity, 20000u);
    auto* f = reinterpret_cast<float*>(larger->buffer);
    f[4999] = 1.0f; // the whole new size is usable (ASan would object otherwise)
    ASSERT_TRUE(larger->release());
}

TEST(IORequestPool, KeepsAtMostTwentyOneOfEachKind) {
    StreamerReset reset;
    auto dir = scratchDir("pool21");
    Journal j;
    auto file = journalFile(dir, j, "a");
    for (bool close : {false, true}) {
        std::vector<IORequest*> taken;
        for (int i = 0; i < 25; ++i)
            taken.push_back(close ? new IORequest(file.get(), IORequest::Close)
                                  : IORequest::getWriteRequest(file.get(), 4));
        int refused = 0;
        for (IORequest* r : taken)
            if (!r->release()) {
                ++refused;
                delete r;
            }
        EXPECT_EQ(refused, 4);
        EXPECT_EQ(close ? IORequest::closePoolSize() : IORequest::writePoolSize(), 21u);
    }
}

TEST(IORequestPool, NoWriteRequestOnceTheFileIsClosing) {
    StreamerReset reset;
    auto dir = scratchDir("closing");
    Journal j;
    auto file = journalFile(dir, j, "a");
    IORequest* close = IORequest::createCloseRequest(file.get());
    EXPECT_EQ(close->getKind(), IORequest::Close);
    EXPECT_EQ(close->getFile(), file.get());
    EXPECT_EQ(IORequest::getWriteRequest(file.get(), 16), nullptr);
    ASSERT_TRUE(close->release());
}

TEST(Streamer, CloseQueuedAfterThreeWritesRunsAfterThem) {
    StreamerReset reset;
    auto dir = scratchDir("order");
    Journal j;
    Streamer* s = Streamer::get();
    ASSERT_NE(s, nullptr);
    auto* file = journalFile(dir, j, "a").release();
    for (int i = 0; i < 3; ++i)
        s->addToRequestQueue(filledRequest(file, 20, float(i) / 10));
    s->addToRequestQueue(IORequest::createCloseRequest(file));
    ASSERT_TRUE(waitUntil([&] { return j.get().size() == 5; }));
    EXPECT_EQ(j.get(), (std::vector<std::string>{"wa", "wa", "wa", "ca", "da"}));
    auto samples = wavSamples(readBytes(dir / "a.wav"));
    ASSERT_EQ(samples.size(), 60u);
    EXPECT_EQ(samples[0], 0.0f);
    EXPECT_EQ(samples[59], 0.2f);
    EXPECT_EQ(u32(readBytes(dir / "a.wav"), 40), 240u);
}

TEST(Streamer, DoCloseFileDropsTheFilesQueuedWrites) {
    StreamerReset reset;
    auto dir = scratchDir("drop");
    Journal j;
    Gate gate;
    Streamer* s = Streamer::get();
    auto gated = journalFile(dir, j, "g", &gate);
    auto closer = journalFile(dir, j, "a");
    auto* victim = journalFile(dir, j, "b").release();
    // Hold the thread in a write, queue a request whose write closes b, then two writes for b:
    // all three land in the request queue together, so b's writes are queued when it closes.
    s->addToRequestQueue(filledRequest(gated.get(), 2, 0.f));
    gate.waitEntered();
    closer->onWrite = [&] { s->doCloseFile(victim); };
    s->addToRequestQueue(filledRequest(closer.get(), 2, 0.f));
    s->addToRequestQueue(filledRequest(victim, 2, 0.f));
    s->addToRequestQueue(filledRequest(victim, 2, 0.f));
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return s->pendingRequests() == 0 && j.get().size() >= 4; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(j.get(), (std::vector<std::string>{"wg", "wa", "cb", "db"}));
    EXPECT_EQ(u32(readBytes(dir / "b.wav"), 40), 0u) << "closed with its dropped writes left out";
    // The dropped requests went back to the pool rather than leaking.
    EXPECT_GE(IORequest::writePoolSize(), 2u);
}

TEST(Streamer, DieWhileIdleIsAcknowledgedPromptly) {
    LogCapture log;
    StreamerReset reset;
    Streamer* s = Streamer::get();
    ASSERT_TRUE(waitUntil([&] { return log.contains("Streamer::entry() in"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // let it reach its wait
    auto dir = scratchDir("idle");
    Journal j;
    auto file = journalFile(dir, j, "a");
    IORequest::getWriteRequest(file.get(), 4)->release(); // something in the pool to empty
    auto t0 = std::chrono::steady_clock::now();
    int32_t ack = 0;
    s->die(&ack);
    auto took = std::chrono::steady_clock::now() - t0;
    Streamer::destroy(false);
    EXPECT_EQ(ack, 1);
    EXPECT_LT(took, std::chrono::milliseconds(60));
    EXPECT_EQ(IORequest::writePoolSize(), 0u);
    ASSERT_TRUE(waitUntil([&] { return log.contains("Streamer::~Streamer()"); }));
    std::string text = log.text();
    const char* order[] = {"Streamer::Streamer()",   "Streamer::entry() in",
                           "Streamer::die() in",     "Streamer::Entry() intercepted die signal",
                           "Streamer::Entry() out",  "Streamer::onExit() in",
                           "Streamer::onExit() out", "Streamer::~Streamer()"};
    size_t at = 0;
    for (const char* line : order) {
        size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }
    EXPECT_NE(text.find("Streamer::die() out"), std::string::npos);
    // A later get builds a fresh, working streamer.
    Streamer* fresh = Streamer::get();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->isRunning());
}

TEST(Streamer, NothingHandedOverIsLostAtDie) {
    LogCapture log;
    StreamerReset reset;
    auto dir = scratchDir("dielost");
    Journal j;
    Gate gate;
    Streamer* s = Streamer::get();
    auto* gated = journalFile(dir, j, "g", &gate).release();
    auto* file = journalFile(dir, j, "a").release();
    s->addToRequestQueue(filledRequest(gated, 2, 0.f));
    gate.waitEntered();
    // die arrives while the thread is busy and these still wait in the hand-over queue.
    for (int i = 0; i < 10; ++i)
        s->addToRequestQueue(filledRequest(file, 4, float(i)));
    s->addToRequestQueue(IORequest::createCloseRequest(file));
    s->addToRequestQueue(IORequest::createCloseRequest(gated));
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        gate.open();
    });
    Streamer::shutdown();
    opener.join();
    auto samples = wavSamples(readBytes(dir / "a.wav"));
    ASSERT_EQ(samples.size(), 40u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(samples[size_t(i) * 4], float(i));
    EXPECT_EQ(u32(readBytes(dir / "a.wav"), 40), 160u);
    auto events = j.get();
    EXPECT_EQ(std::count(events.begin(), events.end(), "da"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "dg"), 1);
}

TEST(Streamer, ImmediateCloseWritesWhatIsStillQueuedFirst) {
    StreamerReset reset;
    auto dir = scratchDir("immediate");
    Journal j;
    Gate gate;
    Streamer* s = Streamer::get();
    auto gated = journalFile(dir, j, "g", &gate);
    auto* file = journalFile(dir, j, "a").release();
    s->addToRequestQueue(filledRequest(gated.get(), 2, 0.f));
    gate.waitEntered();
    s->addToRequestQueue(filledRequest(file, 4, 1.f));
    s->addToRequestQueue(filledRequest(file, 4, 2.f));
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.open();
    });
    s->closeFile(file, true); // waits for the busy thread, then writes both and closes here
    opener.join();
    auto samples = wavSamples(readBytes(dir / "a.wav"));
    EXPECT_EQ(samples, (std::vector<float>{1, 1, 1, 1, 2, 2, 2, 2}));
}
