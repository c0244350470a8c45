// The application object's start-up and shutdown as far as this build has them: the opcode
// order, the first-use notice, and no audio error box while no audio device can be listed.
#include "app/Registry.h"
#include "app/SamplerApplication.h"
#include "app/UserMessage.h"
#include "bridge/EngineManager.h"
#include "graph/GraphManager.h"
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vantor;
using vantor::samplerapp::SamplerApplication;

namespace {

const std::u16string kSettingsKey = u"Software\\Vantor\\QuorvelSA";

// The opcode lines of `lines` in order (the settings restore and save add their own between).
std::vector<std::string> opcodeLines(const std::vector<std::string>& lines, size_t from = 0) {
    std::vector<std::string> out;
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind("VE_ENGINE_", 0) == 0 && lines[i].find(' ') == std::string::npos)
            out.push_back(lines[i]);
    return out;
}

// True when `wanted` appears in `seen` in this order, other entries allowed between.
bool inOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted) {
    size_t next = 0;
    for (const std::string& line : seen)
        if (next < wanted.size() && line == wanted[next]) ++next;
    return next == wanted.size();
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += line + " ";
    return out;
}

class SamplerApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        setRegistryStore(&registry_);
        setMessageBoxHook([this](const std::string& caption, const std::string& text) {
            boxes_.emplace_back(caption, text);
        });
    }
    void TearDown() override {
        setMessageBoxHook({});
        setRegistryStore(nullptr);
    }

    // One run of the application as the entry point drives it.
    void runOnce() {
        AppArgumentList arguments{"Quorvel.exe"};
        ASSERT_EQ(engineOpcode(VE_ENGINE_APP_ARGUMENTS_SET, &arguments, nullptr, 0, 0, 0, 0.0f), kEngineOk);
        auto* application = new SamplerApplication();
        application->init();
        application->run();
        application->exit();
        delete application;
    }

    test::EngineTestHome home_;
    MemoryRegistryStore registry_;
    std::vector<std::pair<std::string, std::string>> boxes_;
};

} // namespace

TEST_F(SamplerApplicationTest, TheFirstUseNoticeIsShownOnceAndRemembered) {
    runOnce();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].first, "Quorvel");
    EXPECT_EQ(boxes_[0].second, "This is the first time you are running this application. Please go to "
                                "Tools\\Preferences to set your Audio and MIDI devices.");
    uint32_t firstUse = 7;
    ASSERT_TRUE(registry_.readDword(kHiveCurrentUser, kSettingsKey, u"firstUse", firstUse));
    EXPECT_EQ(firstUse, 0u);
    EXPECT_FALSE(registry_.hasKey(kHiveLocalMachine, kSettingsKey)) << "settings are the user's";

    boxes_.clear();
    runOnce();
    EXPECT_TRUE(boxes_.empty()) << "second start shows nothing";
}

TEST_F(SamplerApplicationTest, OnlyAStoredOneShowsTheNotice) {
    ASSERT_TRUE(registry_.writeDword(kHiveCurrentUser, kSettingsKey, u"firstUse", 2));
    runOnce();
    EXPECT_TRUE(boxes_.empty());
    ASSERT_TRUE(registry_.writeDword(kHiveCurrentUser, kSettingsKey, u"firstUse", 1));
    runOnce();
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(SamplerApplicationTest, StartUpAndShutdownGoThroughTheOpcodesInOrder) {
    AppArgumentList arguments{"Quorvel.exe", "song.brevian"};
    ASSERT_EQ(engineOpcode(VE_ENGINE_APP_ARGUMENTS_SET, &arguments, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    test::LogCapture log;
    SamplerApplication application;
    EXPECT_EQ(application.settingsKeyPath(), kSettingsKey);
    EXPECT_EQ(application.audioDeviceCount(), 0u);
    EXPECT_EQ(application.midiInputCount(), 0u);

    EXPECT_TRUE(application.init());
    EXPECT_NE(EngineManager::peek()->context(), nullptr) << "initialised";
    std::vector<std::string> opcodes = opcodeLines(log.messages());
    ASSERT_FALSE(opcodes.empty());
    EXPECT_EQ(opcodes.front(), "VE_ENGINE_INITIALIZE");
    EXPECT_TRUE(inOrder(opcodes, {"VE_ENGINE_INITIALIZE", "VE_ENGINE_AUDIO_START", "VE_ENGINE_INSTRUMENT_ADD",
                                  "VE_ENGINE_INSTRUMENT_GUI_SHOW"}))
        << joined(opcodes);
    EXPECT_TRUE(log.has('I', "VE_ENGINE_INITIALIZE OK"));
    // Audio cannot start without a chosen device; that is no error to show: the only box is the
    // first-use notice.
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].first, "Quorvel");

    EXPECT_TRUE(application.run()) << "returns at once without a main window";

    size_t before = log.messages().size();
    EXPECT_TRUE(application.exit());
    opcodes = opcodeLines(log.messages(), before);
    ASSERT_GE(opcodes.size(), 3u);
    // Audio stops, then the bridge shuts down (stopping audio itself first), and nothing follows.
    EXPECT_EQ(
        std::vector<std::string>(opcodes.end() - 3, opcodes.end()),
        (std::vector<std::string>{"VE_ENGINE_AUDIO_STOP", "VE_ENGINE_SHUTDOWN", "VE_ENGINE_AUDIO_STOP"}))
        << joined(opcodes);
    EXPECT_EQ(EngineManager::peek(), nullptr) << "the bridge is gone after exit";
    EXPECT_EQ(GraphManager::peek(), nullptr);
}

TEST_F(SamplerApplicationTest, TheLogOfARunEndsClosed) {
    runOnce();
    std::string text = home_.readLog();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '@');
    EXPECT_NE(text.find("VE_ENGINE_INITIALIZE OK"), std::string::npos);
}

// ---- the message and exit seam -----------------------------------------------------------

namespace {
struct ExitCalled {
    int status;
};
} // namespace

TEST(UserMessageSeam, HooksSeeTheMessageAndTheExitInsteadOfThePlatform) {
    std::vector<std::pair<std::string, std::string>> boxes;
    setMessageBoxHook(
        [&](const std::string& caption, const std::string& text) { boxes.emplace_back(caption, text); });
    showMessageBox("Vantor Quorvel", "Cannot find the engine");
    setMessageBoxHook({});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Vantor Quorvel");
    EXPECT_EQ(boxes[0].second, "Cannot find the engine");

    setExitHook([](int status) { throw ExitCalled{status}; });
    try {
        exitProcess(0);
        ADD_FAILURE() << "exitProcess returned";
    } catch (const ExitCalled& exit) {
        EXPECT_EQ(exit.status, 0);
    }
    setExitHook({});
}
