// The engine's thread loads and seeks while the audio thread advances: advance only tries the
// lock, never waits for it, and shares nothing with the other thread without an atomic or the lock.
#include "graph/DSPInfo.h"
#include "midifile/MIDIFilePlayer.h"
#include "midifile/SmfBuilder.h"
#include "support/WorkerChecks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

using smf::TempFile;
using smf::Track;

TempFile denseFile(const std::string& name, int steps) {
    Track t;
    t.tempo(0, 400000);
    for (int i = 0; i < steps; ++i)
        t.noteOn(0, i % 16, 40 + i % 60, 100).noteOff(24, i % 16, 40 + i % 60);
    return TempFile(smf::file(1, 96, {t.end()}), name);
}

TEST(PlayerThreading, LoadAndSeekWhileAnotherThreadAdvances) {
    const TempFile small = denseFile("small.mid", 64);
    const TempFile large = denseFile("large.mid", 40000);
    vantor::DSPInfo info(44100, 256);
    vantor::MIDIFilePlayer player;
    player.init(nullptr, &info);

    std::atomic<bool> done{false};
    std::atomic<uint64_t> blocks{0};
    vantor::test::WorkerChecks checks;
    std::thread audio([&] {
        vantor::MidiEventArray out;
        out.reserve(1 << 14);
        while (!done.load()) {
            player.advance();
            player.getBlockEvents(out);
            for (const auto& e : out)
                if (!WORKER_CHECK(checks, e.frameOffset >= 0 && e.frameOffset < 256)) return;
            out.clear();
            blocks.fetch_add(1);
        }
    });
    // Whatever ends the test, the audio thread is stopped and joined first.
    struct Joiner {
        std::atomic<bool>& done;
        std::thread& thread;
        ~Joiner() {
            done.store(true);
            if (thread.joinable()) thread.join();
        }
    } joiner{done, audio};

    uint64_t blocksDuringLargeLoads = 0;
    for (int round = 0; round < 12; ++round) {
        const uint64_t before = blocks.load();
        ASSERT_TRUE(player.load(round % 2 ? small.path() : large.path()));
        if (round % 2 == 0) blocksDuringLargeLoads += blocks.load() - before;
        player.startPlayback();
        for (int i = 0; i < 50; ++i) {
            player.seek(static_cast<float>(i % 10) / 10.0f);
            const double p = player.getPosition();
            ASSERT_TRUE(std::isfinite(p));
            ASSERT_GE(p, 0.0);
            std::this_thread::yield();
        }
        if (round % 3 == 0) player.stopPlayback();
        ASSERT_FALSE(player.load("/nonexistent/quorvel/none.mid"));
        ASSERT_EQ(player.getPosition(), 0.0);
    }
    done.store(true);
    audio.join();
    EXPECT_TRUE(checks.passed());

    // The audio thread kept running while the large file was being read under the lock.
    EXPECT_GT(blocksDuringLargeLoads, 0u);
    EXPECT_GT(blocks.load(), 100u);
}

} // namespace
