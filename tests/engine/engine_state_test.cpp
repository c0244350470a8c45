// The state block and the open-file operation: round trips, and every kind of bad input refused
// without changing the engine.
#include "EngineFixture.h"

#include "EngineState.h"

#include <cstring>
#include <fstream>

using namespace enginetest;

class EngineStateTest : public EngineTest {
protected:
    std::vector<uint8_t> save() {
        void* data = nullptr;
        int32_t size = -1;
        EXPECT_EQ(op(BREVIAN_OP_STATE_SAVE, &data, &size), 0);
        if (data == nullptr || size <= 0) return {};
        const auto* p = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(p, p + size);
    }
    int32_t load(const std::vector<uint8_t>& bytes) {
        return op(BREVIAN_OP_STATE_LOAD, const_cast<uint8_t*>(bytes.data()), nullptr,
                  static_cast<int32_t>(bytes.size()));
    }
    int32_t openFile(const std::string& path) {
        return op(BREVIAN_OP_OPEN_FILE, const_cast<char*>(path.c_str()));
    }
};

TEST_F(EngineStateTest, RoundTripRestoresTheSoundAndTheBytes) {
    const std::vector<uint8_t> first = save();
    ASSERT_EQ(first.size(), brevian::kStateSize);
    EXPECT_EQ(std::memcmp(first.data(), "BRVS", 4), 0);
    const std::vector<float> before = renderLeft(4096, 256, {{0x90, 60, 100, 0}});

    // Another patch sounds different...
    dir.write("lead.preset",
              "BREVIAN-PRESET 1\nBright_Lead 0.002 0.25 0.75 0.25 3200 0.45 2.5 12.0 0.10 0.45\n");
    ASSERT_EQ(openFile(utf8(dir.path() / "lead.preset")), 0);
    const std::vector<uint8_t> lead = save();
    EXPECT_NE(lead, first);
    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START);
    EXPECT_NE(renderLeft(4096, 256, {{0x90, 60, 100, 0}}), before);

    // ...and loading the first state brings back the first sound, byte for byte.
    ASSERT_EQ(load(first), 0);
    EXPECT_EQ(save(), first);
    op(BREVIAN_OP_STOP);
    op(BREVIAN_OP_START);
    EXPECT_EQ(renderLeft(4096, 256, {{0x90, 60, 100, 0}}), before);
}

TEST_F(EngineStateTest, SavedBufferStaysValidAndOwnedByTheEngine) {
    void* a = nullptr;
    void* b = nullptr;
    int32_t sa = 0, sb = 0;
    ASSERT_EQ(op(BREVIAN_OP_STATE_SAVE, &a, &sa), 0);
    ASSERT_EQ(op(BREVIAN_OP_STATE_SAVE, &b, &sb), 0);
    EXPECT_EQ(a, b); // one buffer, reused: nothing for the host to free
    EXPECT_EQ(sa, sb);
}

TEST_F(EngineStateTest, ForeignTruncatedOversizedAndDamagedStatesRejectedAndChangeNothing) {
    dir.write("lead.preset",
              "BREVIAN-PRESET 1\nBright_Lead 0.002 0.25 0.75 0.25 3200 0.45 2.5 12.0 0.10 0.45\n");
    ASSERT_EQ(openFile(utf8(dir.path() / "lead.preset")), 0);
    const std::vector<uint8_t> good = save();
    ASSERT_EQ(good.size(), brevian::kStateSize);

    std::vector<std::pair<const char*, std::vector<uint8_t>>> bad;
    bad.push_back({"foreign", std::vector<uint8_t>(good.size(), 0x41)});
    bad.push_back({"empty", {}});
    bad.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 16)});
    bad.push_back({"truncated by one", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    bad.push_back({"one byte too many", longer});
    std::vector<uint8_t> huge = good;
    huge.resize(1 << 20, 0);
    bad.push_back({"oversized", huge});
    std::vector<uint8_t> newer = good;
    newer[4] = 2;
    bad.push_back({"newer version", newer});
    std::vector<uint8_t> wrongSize = good;
    wrongSize[8] ^= 1;
    bad.push_back({"size field", wrongSize});
    std::vector<uint8_t> flipped = good;
    flipped[40] ^= 0x10;
    bad.push_back({"damaged body", flipped});
    // A block with a good checksum but a value out of range (release of 1000 s).
    brevian::Patch p;
    p.setName("X");
    p.release = 1000.f;
    brevian::StateBytes outOfRange;
    brevian::encodeState(p, outOfRange);
    bad.push_back({"value out of range", std::vector<uint8_t>(outOfRange.begin(), outOfRange.end())});

    for (const auto& [what, bytes] : bad) {
        EXPECT_NE(load(bytes), 0) << what;
        EXPECT_EQ(save(), good) << what;
    }
    EXPECT_NE(op(BREVIAN_OP_STATE_LOAD, const_cast<uint8_t*>(good.data()), nullptr, -1), 0);
    EXPECT_EQ(load(good), 0);
}

TEST_F(EngineStateTest, OpenFileTakesStateFilesAndPresetsAndRefusesTheRest) {
    const std::vector<uint8_t> initial = save();
    // The shipped factory default is a state file.
    ASSERT_EQ(openFile(std::string(QUORVEL_ENGINE_DATA_DIR) + "/default.brevian"), 0);
    const std::vector<uint8_t> factory = save();
    EXPECT_EQ(std::string(factory.begin(), factory.end()), shippedFile("default.brevian"));

    dir.write("damaged.brevian", std::string(factory.begin(), factory.end() - 3));
    dir.write("notes.txt", "hello\n");
    dir.write("empty.preset", "BREVIAN-PRESET 1\n# nothing\n");
    dir.write("huge.brevian", std::string(1 << 17, 'B'));
    for (const char* name :
         {"damaged.brevian", "notes.txt", "empty.preset", "huge.brevian", "absent.brevian"})
        EXPECT_NE(openFile(utf8(dir.path() / name)), 0) << name;
    EXPECT_NE(openFile(dir.utf8()), 0); // a folder
    EXPECT_NE(openFile(""), 0);
    EXPECT_EQ(save(), factory);
    (void)initial;
}

TEST_F(EngineStateTest, OpenFileFollowsUtf8Names) {
    const std::string name = "\xC3\xA9t\xC3\xA9 \xE2\x99\xAA.preset"; // "été ♪.preset"
    std::filesystem::path path = dir.path() / std::filesystem::path(std::u8string(name.begin(), name.end()));
    {
        std::ofstream out(path, std::ios::binary);
        out << "BREVIAN-PRESET 1\nSummer 0.01 0.3 0.6 0.5 1500 0.2 2 5 0.2 0.5\n";
    }
    ASSERT_EQ(openFile(utf8(path)), 0);
    const std::vector<uint8_t> bytes = save();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 16), "Summer");
}
