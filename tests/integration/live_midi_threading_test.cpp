// Live MIDI through the whole host while the audio library's own thread runs block after block:
// a keyboard thread plays a note and lets it go, as the multimedia system's callback thread
// delivers messages, and the host thread keeps issuing opcodes meanwhile. The note must be heard
// and then die away, with every hand-over between the threads clean under TSan.
#include "IntegrationHost.h"

#include "engineapi/EngineOpcodes.h"
#include "graph/GraphManager.h"
#include "support/WorkerChecks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>
#include <thread>

using namespace vantor;
namespace pa = quorvel::test::pa;
using vantor::test::silent;

namespace {

constexpr uint32_t kNoteOn = 0x643C90;
constexpr uint32_t kNoteOff = 0x403C80;

// Waits for a condition the running blocks must bring about; false when the time is up.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool lastBlockSilent() {
    auto out = pa::lastOutput();
    return out.size() >= 2 && silent(out[0]) && silent(out[1]);
}

class LiveMidiThreadingTest : public vantor::test::IntegrationHost {
protected:
    void SetUp() override {
        IntegrationHost::SetUp();
        // The library's thread calls back continuously, as a sound card does.
        pa::setCallbacks(pa::Callbacks::Running);
    }
};

} // namespace

TEST_F(LiveMidiThreadingTest, ANotePlayedWhileBlocksRunIsHeardAndItsNoteOffLetsItDieAway) {
    startHost(48000, 1024, false);
    if (HasFatalFailure()) return;

    // The host thread keeps polling as the main window's timer does.
    std::atomic<bool> stop{false};
    vantor::test::WorkerChecks hostChecks;
    std::thread host([&] {
        while (!stop.load()) {
            bool playing = false;
            WORKER_CHECK(hostChecks, call(VE_ENGINE_AUDIO_ISPLAYING, &playing) == kEngineOk);
            WORKER_CHECK(hostChecks, playing);
            call(VE_ENGINE_IDLE);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    // Blocks run and nothing has been played: silence.
    const uint64_t before = pa::callbackCount();
    ASSERT_TRUE(waitFor([&] { return pa::callbackCount() >= before + 5; }));
    EXPECT_TRUE(lastBlockSilent());

    bool sent = false;
    std::thread keys([&] { sent = midi_.api().sendShort(keyboardKey_, kNoteOn); });
    keys.join();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(waitFor([] { return !lastBlockSilent(); })) << "the note never sounded";
    // Held: it keeps sounding block after block.
    const uint64_t heard = pa::callbackCount();
    ASSERT_TRUE(waitFor([&] { return pa::callbackCount() >= heard + 5; }));
    EXPECT_FALSE(lastBlockSilent());

    keys = std::thread([&] { sent = midi_.api().sendShort(keyboardKey_, kNoteOff); });
    keys.join();
    EXPECT_TRUE(sent);
    // A 1.2 s release is about 57 blocks of 1024 frames; the blocks run faster than real time.
    EXPECT_TRUE(waitFor([] { return lastBlockSilent(); })) << "the note never died away";
    const uint64_t quiet = pa::callbackCount();
    ASSERT_TRUE(waitFor([&] { return pa::callbackCount() >= quiet + 5; }));
    EXPECT_TRUE(lastBlockSilent()) << "silent for good once released";

    stop.store(true);
    host.join();
    EXPECT_TRUE(hostChecks.passed());
    EXPECT_GT(graph()->renderedBlocks(), 0u);
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}
