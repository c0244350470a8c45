// engineOpcode called from an engine's own threads while the host's thread works: the argument
// list and the context-free opcodes are safe to use concurrently.
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "support/EngineTestHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vantor;

namespace {
int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr) {
    return engineOpcode(opcode, p1, p2, 0, 0, 0, 0.0f);
}
} // namespace

TEST(BridgeThreading, ArgumentsAreReadWholeWhileTheHostReplacesThem) {
    test::EngineTestHome home;
    AppArgumentList first{"Quorvel.exe", "a.brevian"};
    ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, &first), kEngineOk);

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                AppArgumentList seen;
                if (call(VE_ENGINE_APP_ARGUMENTS_GET, &seen) != kEngineOk) ++torn;
                // Every list the host sets has its index in each entry after the first.
                for (size_t i = 1; i < seen.size(); ++i)
                    if (seen[i] != seen[1]) ++torn;
                char version[8] = {};
                if (call(VE_ENGINE_VERSION, version) != kEngineOk || std::strcmp(version, "v2.116") != 0)
                    ++torn;
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        AppArgumentList next(1 + round % 5, std::to_string(round));
        next[0] = "Quorvel.exe";
        ASSERT_EQ(call(VE_ENGINE_APP_ARGUMENTS_SET, &next), kEngineOk);
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(BridgeThreading, OpcodesWithoutAContextAnswerFromAnyThread) {
    test::EngineTestHome home;
    EngineManager::get();
    std::atomic<int> wrong{0};
    std::vector<std::thread> engines;
    for (int t = 0; t < 3; ++t) {
        engines.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                int32_t value = 12345;
                double position = -1.0;
                if (call(VE_ENGINE_AUDIODEVICE_GET, &value) != kEngineFailed || value != 12345) ++wrong;
                if (call(VE_ENGINE_MIDI_POSITION_GET, &position) != kEngineFailed || position != -1.0)
                    ++wrong;
                if (call(VE_ENGINE_AUDIO_START) != kEngineAudioRefused) ++wrong;
                if (call(999) != kEngineNoResult) ++wrong;
            }
        });
    }
    for (auto& engine : engines)
        engine.join();
    EXPECT_EQ(wrong.load(), 0);
}

namespace {

// Ends the test program when a run outlives its bound: a hang is a failure, not a stuck CI job.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds bound) : thread_([this, bound] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
            std::fputs("Watchdog: the threading test hung\n", stderr);
            std::abort();
        }
    }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

bool oneOf(int32_t result, std::initializer_list<int32_t> allowed) {
    for (int32_t a : allowed)
        if (result == a) return true;
    return false;
}

} // namespace

// Two engine threads poll and seek back to back while the host's thread brings the bridge up and
// down again and again: every call must finish on live objects (ASan/TSan see any that does not)
// and answer as the bridge's state allows.
TEST(BridgeThreading, EngineThreadsCallThroughInitialiseAndShutdownLoops) {
    test::EngineTestHome home;
    Watchdog watchdog(std::chrono::seconds(150));
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<long> calls{0};
    std::vector<std::thread> engines;
    for (int t = 0; t < 2; ++t) {
        engines.emplace_back([&, t] {
            AudioDeviceRecord audio[4] = {};
            MidiDeviceRecord midi[4] = {};
            for (long i = 0; !stop.load(std::memory_order_relaxed); ++i) {
                double position = 0.0;
                int32_t recording = 0, count = 0;
                const int32_t pos = call(VE_ENGINE_MIDI_POSITION_GET, &position);
                const int32_t rec = call(VE_ENGINE_RECORDING_ISRECORDING, &recording);
                const int32_t seek =
                    engineOpcode(VE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, (i % 10) / 10.0f);
                const int32_t list = (i + t) % 2 ? engineOpcode(VE_ENGINE_AUDIODEVICE_LIST, audio, &count, 4, 0, 0, 0)
                                                 : engineOpcode(VE_ENGINE_MIDIDEVICE_LIST, midi, &count, 4, 2, 0, 0);
                if (!oneOf(pos, {kEngineOk, kEngineFailed}) || !oneOf(rec, {kEngineOk, kEngineFailed}) ||
                    !oneOf(seek, {kEngineOk, kEngineFailed}) || !oneOf(list, {kEngineOk, kEngineFailed}) ||
                    (pos == kEngineOk && (position < 0.0 || position > 1.0)) ||
                    (rec == kEngineOk && recording != 0 && recording != 1))
                    ++wrong;
                calls.fetch_add(4, std::memory_order_relaxed);
            }
        });
    }

    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_EQ(call(VE_ENGINE_INITIALIZE), kEngineOk) << "round " << rounds;
        EXPECT_EQ(engineOpcode(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1, 0, 0, 0), kEngineOk);
        const std::string take = home.folder() + "/take" + std::to_string(rounds) + ".wav";
        EXPECT_EQ(engineOpcode(VE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(take.c_str()), nullptr, 0, 32, 0, 0),
                  kEngineOk);
        EXPECT_EQ(call(VE_ENGINE_RECORDING_START), kEngineOk);
        EXPECT_EQ(call(VE_ENGINE_RECORDING_STOP), kEngineOk);
        EXPECT_EQ(engineOpcode(VE_ENGINE_OFFLINE_SET, nullptr, nullptr, 0, 0, 0, 0), kEngineOk);
        ASSERT_EQ(call(VE_ENGINE_SHUTDOWN), kEngineOk);
        ++rounds;
    }
    stop = true;
    for (auto& engine : engines)
        engine.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(rounds, 1);
    std::printf("%d rounds, %ld engine calls\n", rounds, calls.load());
}
