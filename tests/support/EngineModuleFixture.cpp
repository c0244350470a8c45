#include "support/EngineModuleFixture.h"

#include "app/UserMessage.h"
#include "bridge/CodeSignature.h"
#include "bridge/SMPLModule.h"
#include "graph/MidiEvent.h"
#include "log/TextConv.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <system_error>

namespace vantor::test {

std::u16string registryText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return narrowToWide(std::string(text.begin(), text.end()));
}

void EngineModuleFixture::SetUp() {
    setRegistryStore(&registry_);
    setExitHook([](int status) { throw ProcessExit{status}; });
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::filesystem::path(tempFilePath("_smpl")).concat(std::string("_") + test->name());
    std::filesystem::create_directories(scratch_);
}

void EngineModuleFixture::TearDown() {
    setExitHook({});
    setRegistryStore(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
}

void EngineModuleFixture::install(const std::filesystem::path& library, const std::filesystem::path& data) {
    registry_.writeString(kHiveLocalMachine, kProductKeyPath, u"base_dir", registryText(data));
    registry_.writeString(kHiveLocalMachine, kEngineKeyPath, u"path_x64", registryText(library));
#if !defined(_WIN32)
    std::string hex;
    EXPECT_TRUE(sha256FileHex(registryText(library), hex)) << library;
    registry_.writeString(kHiveLocalMachine, kEngineKeyPath, kEngineHashValueName, narrowToWide(hex));
#endif
}

void EngineModuleFixture::expectTheFirst1024Of1500EventsPlayed(SMPLModule& module) {
    MidiEventArray events(1500);
    for (size_t i = 0; i < events.size(); ++i) {
        events[i].status = 0x90;
        events[i].data1 = static_cast<uint8_t>(i % 128);
        events[i].data2 = 100;
        events[i].frameOffset = static_cast<int32_t>(i % 256);
        events[i].timeStamp = static_cast<uint32_t>(i);
    }
    std::vector<float> left(256), right(256);
    float* outputs[2] = {left.data(), right.data()};
    module.processBlock(events, nullptr, outputs, 256, false);
    const BrevianEventBlock& block = module.eventBlock();
    EXPECT_EQ(block.count, 1024u);
    EXPECT_EQ(block.events[0].timeStamp, 0u);
    EXPECT_EQ(block.events[1023].timeStamp, 1023u);
    EXPECT_EQ(block.events[1023].data1, 1023 % 128);
    float peak = 0;
    for (float sample : left)
        peak = std::max(peak, std::abs(sample));
    EXPECT_GT(peak, 0.0f) << "the engine played them";
}

int EngineModuleFixture::initEndsProcess(SMPLModule& module) {
    try {
        module.init(nullptr, &info_);
    } catch (const ProcessExit& exit) {
        return exit.status;
    }
    ADD_FAILURE() << "init returned";
    return -1;
}

bool EngineModuleFixture::loggedInOrder(const std::string& first, const std::string& second) const {
    const auto lines = log_.messages();
    const auto a = std::find(lines.begin(), lines.end(), first);
    return a != lines.end() && std::find(a + 1, lines.end(), second) != lines.end();
}

} // namespace vantor::test
