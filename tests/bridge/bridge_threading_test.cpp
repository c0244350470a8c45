// engineOpcode called from an engine's own threads while the host's thread works: the argument
// list and the context-free opcodes are safe to use concurrently.
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "support/EngineTestHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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
