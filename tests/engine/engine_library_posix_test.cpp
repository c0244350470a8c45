// The built shared object, loaded as a host loads it: brevianOpcode exported with C linkage and
// nothing else of the engine visible.
#include "EngineFixture.h"

#include <dlfcn.h>

using namespace enginetest;

TEST(EngineLibrary, ExportsTheEntryPointOnlyAndRunsALifecycle) {
    void* lib = dlopen(QUORVEL_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto entry = reinterpret_cast<BrevianOpcodeFunction>(dlsym(lib, BREVIAN_ENTRY_POINT_NAME));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN7brevian6Engine6createEPK21BrevianHostDescriptorPPS0_"), nullptr); // hidden

    char version[BREVIAN_VERSION_BUFFER_SIZE] = {};
    ASSERT_EQ(entry(nullptr, BREVIAN_OP_GET_VERSION, version, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    TempDir dir;
    dir.copyShipped("Brevian.dat");
    Descriptor d(dir.utf8());
    void* engine = nullptr;
    ASSERT_EQ(entry(nullptr, BREVIAN_OP_CREATE, &d.raw, &engine, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(entry(engine, BREVIAN_OP_SET_STREAM, nullptr, nullptr, nullptr, 44100, 128, 0, 0.f), 0);
    EXPECT_EQ(entry(engine, BREVIAN_OP_START, nullptr, nullptr, nullptr, 1, 0, 0, 0.f), 0);
    BrevianEventBlock block{};
    block.count = 1;
    block.events[0] = BrevianMidiEvent{0x90, 64, 100, 0, 10, 0, 0.f};
    float left[128] = {}, right[128] = {};
    float* outs[2] = {left, right};
    EXPECT_EQ(entry(engine, BREVIAN_OP_PROCESS, &block, outs, nullptr, 128, 0, 0, 0.f), 0);
    EXPECT_EQ(left[9], 0.f);
    EXPECT_NE(left[10] + left[11] + left[12], 0.f);
    EXPECT_EQ(entry(engine, BREVIAN_OP_STOP, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(entry(engine, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    dlclose(lib);
}
