// The application object's start-up and shutdown with the reference engine installed: the opcode
// order, the audio start error box, the instrument added and shown, the first-use notice, and the
// message loop ended by closing the main window.
#include "app/Registry.h"
#include "app/SamplerApplication.h"
#include "app/UserMessage.h"
#include "bridge/CodeSignature.h"
#include "bridge/EngineManager.h"
#include "bridge/SMPLModule.h"
#include "graph/GraphManager.h"
#include "log/TextConv.h"
#include "support/BoxCapture.h"
#include "support/EngineTestHome.h"
#include "support/LogCapture.h"
#include "toolkit/Window.h"
#include "support/GuiScope.h"

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
#if defined(QUORVEL_ENGINE_LIBRARY)
        // The instrument added at start-up loads the reference engine from an installation.
        std::string hash;
        ASSERT_TRUE(sha256FileHex(narrowToWide(QUORVEL_ENGINE_LIBRARY), hash));
        registry_.writeString(kHiveLocalMachine, u"Software\\Vantor\\Quorvel", u"base_dir",
                              narrowToWide(QUORVEL_ENGINE_DATA_DIR));
        registry_.writeString(kHiveLocalMachine, u"Software\\Vantor\\Brevian", u"path_x64",
                              narrowToWide(QUORVEL_ENGINE_LIBRARY));
        registry_.writeString(kHiveLocalMachine, u"Software\\Vantor\\Brevian", kEngineHashValueName,
                              narrowToWide(hash));
#else
        GTEST_SKIP() << "a start-up adds the instrument, which needs an installed engine component";
#endif
        setRegistryStore(&registry_);
    }
    void TearDown() override {
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

    // The boxes with this caption.
    std::vector<std::string> boxesCaptioned(const std::string& caption) const {
        std::vector<std::string> out;
        for (const auto& box : capture_.boxes())
            if (box.first == caption) out.push_back(box.second);
        return out;
    }

    test::EngineTestHome home_;
    MemoryRegistryStore registry_;
    test::GuiScope gui_;
    test::BoxCapture capture_;
};

} // namespace

TEST_F(SamplerApplicationTest, TheFirstUseNoticeIsShownOnceAndRemembered) {
    runOnce();
    const std::vector<std::string> notices = boxesCaptioned("Quorvel");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "This is the first time you are running this application. Please go to "
                          "Tools\\Preferences to set your Audio and MIDI devices.");
    uint32_t firstUse = 7;
    ASSERT_TRUE(registry_.readDword(kHiveCurrentUser, kSettingsKey, u"firstUse", firstUse));
    EXPECT_EQ(firstUse, 0u);
    EXPECT_TRUE(registry_.hasKey(kHiveCurrentUser, kSettingsKey));

    capture_.clear();
    runOnce();
    EXPECT_TRUE(boxesCaptioned("Quorvel").empty()) << "second start shows no notice";
}

TEST_F(SamplerApplicationTest, OnlyAStoredOneShowsTheNotice) {
    ASSERT_TRUE(registry_.writeDword(kHiveCurrentUser, kSettingsKey, u"firstUse", 2));
    runOnce();
    EXPECT_TRUE(boxesCaptioned("Quorvel").empty());
    ASSERT_TRUE(registry_.writeDword(kHiveCurrentUser, kSettingsKey, u"firstUse", 1));
    runOnce();
    EXPECT_EQ(boxesCaptioned("Quorvel").size(), 1u);
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
    // No audio device here, so audio does not start: the user is told, and the instrument is
    // still added and its window opened; then the first-use notice.
    ASSERT_EQ(capture_.boxes().size(), 2u);
    EXPECT_EQ(capture_.boxes()[0].first, "init: Audio Engine Start Error");
    EXPECT_EQ(capture_.boxes()[0].second,
              "Check Preferences. Maybe the current driver doesn't support this sample rate");
    EXPECT_EQ(capture_.boxes()[1].first, "Quorvel");
    ASSERT_NE(GraphManager::peek(), nullptr);
    auto* module = dynamic_cast<SMPLModule*>(GraphManager::peek()->getInstrument(0));
    ASSERT_NE(module, nullptr) << "the engine module is in slot 0";
    ASSERT_NE(test::mainWindowOf(*module), nullptr);
    EXPECT_TRUE(test::mainWindowOf(*module)->isVisible());

    // The loop ends when the main window goes (headless: it is closed as a user would).
    VTR::clearQuitPosted();
    EXPECT_TRUE(application.run());
    EXPECT_TRUE(VTR::quitPosted());
    EXPECT_EQ(test::mainWindowOf(*module), nullptr);

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

// Without a main window the loop would return at once and the process end unseen: the user is
// told, the log says so, the host goes down in order and the process fails.
TEST_F(SamplerApplicationTest, WithoutAMainWindowTheUserIsToldAndTheProcessFails) {
    setEditorHostFactory([](SMPLModule&, bool) -> EditorHost* { return nullptr; });
    setExitHook([](int status) { throw ExitCalled{status}; });
    SamplerApplication application;
    int status = -1;
    try {
        application.init();
    } catch (const ExitCalled& exit) {
        status = exit.status;
    }
    setExitHook({});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(boxesCaptioned("Quorvel"),
              std::vector<std::string>{"The main window could not be created. Quorvel will close."});
    EXPECT_NE(home_.readLog().find("the main window could not be created"), std::string::npos);
    EXPECT_EQ(home_.readLog().back(), '@') << "the host went down in order";
}
