// The engine finds the host's exported engineOpcode in the process that loaded it and calls it as
// a real engine does: the version at creation, idle time on every GUI tick, the audio driver's panel
// with audio stopped around it. This test program
// exports its own engineOpcode to play the host.
#include "EngineFixture.h"

#include "Editor.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#if defined(_WIN32)
#define TEST_HOST_EXPORT __declspec(dllexport)
#else
#define TEST_HOST_EXPORT __attribute__((visibility("default")))
#endif

namespace {
std::atomic<int> versionCalls{0};
std::atomic<int> idleCalls{0};
std::atomic<int> otherCalls{0};
std::atomic<bool> idleThrows{false};
std::vector<int32_t> audioCalls; // 283 (driver panel) and 300..302 (start, stop, is playing): audio plays
} // namespace

extern "C" TEST_HOST_EXPORT int32_t engineOpcode(int32_t opcode, void* p1, void*, int32_t, int32_t, int32_t,
                                                 float) {
    if (opcode == 260) { // VE_ENGINE_VERSION
        ++versionCalls;
        if (p1 == nullptr) return 1;
        std::memcpy(p1, "v2.116", 7);
        return 0;
    }
    if (opcode == 263) { // VE_ENGINE_IDLE
        if (idleThrows.load()) throw std::bad_alloc();
        ++idleCalls;
        return 3;
    }
    if (opcode == 283 || (opcode >= 300 && opcode <= 302)) {
        audioCalls.push_back(opcode);
        if (opcode == 302) *static_cast<bool*>(p1) = true;
        return 0;
    }
    ++otherCalls;
    return 3;
}

using namespace enginetest;

TEST(EngineHostCalls, VersionAtCreationAndIdleOnEveryTick) {
    TempDir dir;
    dir.copyShipped("Brevian.dat");
    Descriptor d(dir.utf8());
    const int versionsBefore = versionCalls.load();
    void* engine = nullptr;
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_CREATE, &d.raw, &engine, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(versionCalls.load(), versionsBefore + 1);

    // The host's version shows on the editor's panel.
    void* editor = nullptr;
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_EDITOR_CREATE, nullptr, &editor, engine, 0, 0, 0, 0.f), 0);
    EXPECT_NE(static_cast<brevian::Editor*>(editor)->statusLine(3).find("host v2.116"), std::string::npos);
    const int idleBefore = idleCalls.load();
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_EQ(brevianOpcode(engine, BREVIAN_OP_IDLE, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(idleCalls.load(), idleBefore + 5);
    EXPECT_EQ(otherCalls.load(), 0);
    static_cast<brevian::Editor*>(editor)->showAudioPanel();
    EXPECT_EQ(audioCalls, (std::vector<int32_t>{302, 301, 283, 300}));

    // Rendering never calls the host.
    float left[64] = {}, right[64] = {};
    float* outs[2] = {left, right};
    BrevianEventBlock block{};
    EXPECT_EQ(brevianOpcode(engine, BREVIAN_OP_PROCESS, &block, outs, nullptr, 64, 0, 0, 0.f), 0);
    EXPECT_EQ(idleCalls.load(), idleBefore + 5);

    EXPECT_EQ(brevianOpcode(editor, BREVIAN_OP_EDITOR_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(brevianOpcode(engine, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
}

// A host call that throws (memory running out inside the host, here) stops at brevianOpcode: the
// operation fails, an error line goes to the error stream, and the engine goes on working.
TEST(EngineHostCalls, AnExceptionNeverLeavesTheEntryPoint) {
    TempDir dir;
    dir.copyShipped("Brevian.dat");
    Descriptor d(dir.utf8());
    void* engine = nullptr;
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_CREATE, &d.raw, &engine, nullptr, 0, 0, 0, 0.f), 0);
    idleThrows = true;
    int32_t result = 0;
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(result = brevianOpcode(engine, BREVIAN_OP_IDLE, nullptr, nullptr, nullptr, 0, 0, 0, 0.f));
    const std::string errors = testing::internal::GetCapturedStderr();
    idleThrows = false;
    EXPECT_NE(result, 0);
    EXPECT_NE(errors.find("brevianOpcode 26 failed: std::bad_alloc"), std::string::npos) << errors;
    EXPECT_EQ(brevianOpcode(engine, BREVIAN_OP_IDLE, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(brevianOpcode(engine, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
}
