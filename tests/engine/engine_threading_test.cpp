// The audio thread renders while the GUI thread changes the patch, loads and saves state, opens
// files, changes the stream and stops and starts: no data race (run under TSan), no torn or
// invalid values reaching the output.
#include "EngineFixture.h"

#include <atomic>
#include <cmath>
#include <thread>

using namespace enginetest;

TEST_F(EngineTest, GuiOperationsWhileTheAudioThreadRenders) {
    dir.write("a.preset", "BREVIAN-PRESET 1\nA 0.001 0.1 0.9 0.05 8000 0.9 4 40 1 1\n");
    dir.write("b.preset", "BREVIAN-PRESET 1\nB 2 5 0.1 3 60 0 0 0 0 0.1\n");
    const std::string a = utf8(dir.path() / "a.preset");
    const std::string b = utf8(dir.path() / "b.preset");

    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    std::atomic<bool> badSample{false};
    std::thread audio([&] {
        BrevianEventBlock eb{};
        float left[128], right[128];
        float* outs[2] = {left, right};
        int note = 0;
        while (!done.load()) {
            std::fill(left, left + 128, 0.f);
            std::fill(right, right + 128, 0.f);
            eb.count = 2;
            eb.events[0] = BrevianMidiEvent{0x90, static_cast<uint8_t>(36 + note % 48), 100, 0, 3, 0, 0.f};
            eb.events[1] =
                BrevianMidiEvent{0x80, static_cast<uint8_t>(36 + (note + 40) % 48), 0, 0, 64, 0, 0.f};
            ++note;
            brevianOpcode(engine, BREVIAN_OP_PROCESS, &eb, outs, nullptr, 128, 0, 0, 0.f);
            for (float x : left)
                if (!std::isfinite(x) || std::fabs(x) > 16.f) badSample = true;
            ++blocks;
        }
    });

    void* data = nullptr;
    int32_t size = 0;
    for (int round = 0; round < 200; ++round) {
        op(BREVIAN_OP_OPEN_FILE, const_cast<char*>((round % 2 ? a : b).c_str()));
        ASSERT_EQ(op(BREVIAN_OP_STATE_SAVE, &data, &size), 0);
        ASSERT_EQ(op(BREVIAN_OP_STATE_LOAD, data, nullptr, size), 0);
        op(BREVIAN_OP_SET_STREAM, nullptr, nullptr, round % 3 ? 48000 : 44100, 128);
        if (round % 10 == 0) {
            op(BREVIAN_OP_STOP);
            op(BREVIAN_OP_START, nullptr, nullptr, round % 20 == 0);
        }
        op(BREVIAN_OP_IDLE);
        std::this_thread::yield();
    }
    while (blocks.load() < 50)
        std::this_thread::yield();
    done = true;
    audio.join();
    EXPECT_FALSE(badSample.load());
}
