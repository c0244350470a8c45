// Creation, the version text, and what the entry point refuses.
#include "EngineFixture.h"

#include <cstring>

using namespace enginetest;

namespace {

int32_t create(BrevianHostDescriptor* d, void** out) {
    return brevianOpcode(nullptr, BREVIAN_OP_CREATE, d, out, nullptr, 0, 0, 0, 0.f);
}

} // namespace

TEST(EngineCreate, VersionIsTerminatedTextThatFitsTheBuffer) {
    char buffer[BREVIAN_VERSION_BUFFER_SIZE];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_GET_VERSION, buffer, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    const std::size_t length = strnlen(buffer, sizeof buffer);
    EXPECT_LT(length, sizeof buffer);
    EXPECT_GT(length, 0u);
    EXPECT_EQ(std::string(buffer).rfind("Brevian", 0), 0u);
    EXPECT_NE(brevianOpcode(nullptr, BREVIAN_OP_GET_VERSION, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
}

TEST(EngineCreate, RefusedWhenTheDataDirectoryLacksTheDataFile) {
    TempDir empty;
    empty.copyShipped("Product.xml"); // other files do not stand in for the data file
    Descriptor d(empty.utf8());
    void* handle = reinterpret_cast<void*>(uintptr_t{1}); // must be cleared, not left stale
    EXPECT_NE(create(&d.raw, &handle), 0);
    EXPECT_EQ(handle, nullptr);

    Descriptor missing((empty.path() / "no-such-folder").string());
    handle = nullptr;
    EXPECT_NE(create(&missing.raw, &handle), 0);
    EXPECT_EQ(handle, nullptr);
}

TEST(EngineCreate, AcceptedWithTheShippedDataFileWithOrWithoutTrailingSeparator) {
    TempDir dir;
    dir.copyShipped("Brevian.dat");
    for (const std::string& path : {dir.utf8(), dir.utf8() + "/"}) {
        Descriptor d(path);
        void* handle = nullptr;
        ASSERT_EQ(create(&d.raw, &handle), 0) << path;
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(brevianOpcode(handle, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    }
}

TEST(EngineCreate, RefusedWhenTheDataFileIsDamaged) {
    const char* bad[] = {
        "",                                                          // empty
        "BREVIAN-DATA 2\nA 0.01 0.3 0.7 0.4 2000 0.2 2 7 0.3 0.5\n", // unknown format version
        "BREVIAN-DATA 1\n# only comments\n",                         // no patch
        "BREVIAN-DATA 1\nA 0.01 0.3 0.7 0.4 2000 0.2 2 7 0.3\n",     // a value missing
        "BREVIAN-DATA 1\nA 0.01 0.3 7 0.4 2000 0.2 2 7 0.3 0.5\n",   // sustain out of range
        "BREVIAN-DATA 1\nA 0.01 0.3 0.7 0.4 nan 0.2 2 7 0.3 0.5\n",  // not a number
    };
    for (const char* content : bad) {
        TempDir dir;
        dir.write("Brevian.dat", content);
        Descriptor d(dir.utf8());
        void* handle = nullptr;
        EXPECT_NE(create(&d.raw, &handle), 0) << content;
        EXPECT_EQ(handle, nullptr);
    }
}

TEST(EngineCreate, HostTagAndDescriptorChecked) {
    TempDir dir;
    dir.copyShipped("Brevian.dat");
    void* handle = nullptr;

    Descriptor wrongTag(dir.utf8(), BREVIAN_HOST_TAG ^ 1);
    EXPECT_NE(create(&wrongTag.raw, &handle), 0);
    EXPECT_EQ(handle, nullptr);

    Descriptor wrongVersion(dir.utf8());
    wrongVersion.raw.version = 3;
    EXPECT_NE(create(&wrongVersion.raw, &handle), 0);
    Descriptor wrongFirst(dir.utf8());
    wrongFirst.raw.reserved = 7;
    EXPECT_NE(create(&wrongFirst.raw, &handle), 0);
    Descriptor noDirectory(dir.utf8());
    noDirectory.raw.dataDirectory = 0;
    EXPECT_NE(create(&noDirectory.raw, &handle), 0);
    EXPECT_EQ(handle, nullptr);

    Descriptor good(dir.utf8());
    EXPECT_NE(create(nullptr, &handle), 0);
    EXPECT_NE(create(&good.raw, nullptr), 0);
    ASSERT_EQ(create(&good.raw, &handle), 0);
    EXPECT_EQ(brevianOpcode(handle, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
}

TEST_F(EngineTest, NullPointersAndUnknownOperationsRefused) {
    EXPECT_NE(op(BREVIAN_OP_PROCESS, nullptr, nullptr, 64), 0); // no channels
    float left[4] = {};
    float* onlyLeft[2] = {left, nullptr};
    EXPECT_NE(op(BREVIAN_OP_PROCESS, nullptr, onlyLeft, 4), 0);
    EXPECT_NE(op(BREVIAN_OP_STATE_SAVE, nullptr, nullptr), 0);
    int32_t size = 0;
    EXPECT_NE(op(BREVIAN_OP_STATE_SAVE, nullptr, &size), 0);
    EXPECT_NE(op(BREVIAN_OP_STATE_LOAD, nullptr, nullptr, 88), 0);
    EXPECT_NE(op(BREVIAN_OP_OPEN_FILE, nullptr), 0);
    EXPECT_NE(op(BREVIAN_OP_EDITOR_ATTACH, nullptr), 0);
    EXPECT_NE(op(BREVIAN_OP_EDITOR_DETACH, nullptr), 0);
    for (int32_t unknown : {0, 1, 14, 16, 17, 20, 28, 33, 39, 41, 999, -1})
        EXPECT_NE(op(unknown), 0) << unknown;
    for (int32_t needsHandle :
         {BREVIAN_OP_DESTROY, BREVIAN_OP_SET_STREAM, BREVIAN_OP_START, BREVIAN_OP_STOP, BREVIAN_OP_PROCESS,
          BREVIAN_OP_IDLE, BREVIAN_OP_EDITOR_OPEN, BREVIAN_OP_EDITOR_DESTROY})
        EXPECT_NE(brevianOpcode(nullptr, needsHandle, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0)
            << needsHandle;
    // An editor operation on the engine handle is refused, not misread.
    int32_t h = 0, w = 0;
    EXPECT_NE(op(BREVIAN_OP_EDITOR_GET_SIZE, &h, &w), 0);
    EXPECT_NE(op(BREVIAN_OP_EDITOR_DESTROY), 0);
    // Stream values no device gives are refused; the engine keeps working.
    EXPECT_NE(op(BREVIAN_OP_SET_STREAM, nullptr, nullptr, 0, 256), 0);
    EXPECT_NE(op(BREVIAN_OP_SET_STREAM, nullptr, nullptr, 48000, 0), 0);
    EXPECT_EQ(block(16).size(), 32u);
}

TEST(EngineShippedData, DataDirectoryCreatesAndTheFactoryDefaultLoads) {
    Descriptor d(QUORVEL_ENGINE_DATA_DIR);
    void* handle = nullptr;
    ASSERT_EQ(create(&d.raw, &handle), 0);
    const std::string state = shippedFile("default.brevian");
    ASSERT_FALSE(state.empty());
    EXPECT_EQ(brevianOpcode(handle, BREVIAN_OP_STATE_LOAD, const_cast<char*>(state.data()), nullptr, nullptr,
                            static_cast<int32_t>(state.size()), 0, 0, 0.f),
              0);
    // Saved back, it is the same bytes: the shipped file matches the current format.
    void* data = nullptr;
    int32_t size = 0;
    ASSERT_EQ(brevianOpcode(handle, BREVIAN_OP_STATE_SAVE, &data, &size, nullptr, 0, 0, 0, 0.f), 0);
    ASSERT_EQ(static_cast<std::size_t>(size), state.size());
    EXPECT_EQ(std::memcmp(data, state.data(), state.size()), 0);
    EXPECT_EQ(brevianOpcode(handle, BREVIAN_OP_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
}
