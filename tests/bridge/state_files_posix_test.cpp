// The main window's File commands and idle tick on the reference engine: "Save as..." and "Load"
// give the engine back exactly the bytes it handed out, "Save as default" is what the next start
// loads, a failed save is told in a box and leaves the old file as it was; the idle tick follows
// the MIDI file and the stream settings reach the media bar.
#include "bridge/AppDataFolder.h"
#include "bridge/SMPLModule.h"
#include "engineapi/EngineOpcodes.h"
#include "graph/DSPInfo.h"
#include "log/TextConv.h"
#include "support/EngineModuleFixture.h"
#include "support/EngineTestHome.h"
#include "support/GuiScope.h"
#include "support/OpcodeRecorder.h"
#include "toolkit/Window.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace vantor;
namespace fs = std::filesystem;
using test::OpcodeCall;

namespace {

const std::u16string kSettingsKey = u"Software\\Vantor\\QuorvelSA";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string stateOf(SMPLModule& module) {
    void* data = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(module.saveChunk(&data, &size));
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size > 0 ? size : 0));
}

// The engine module with an engine that can be made to save an empty state.
struct EmptyStateModule : SMPLModule {
    bool saveChunk(void** data, int32_t* size) override {
        *size = 0;
        return emptyState || SMPLModule::saveChunk(data, size);
    }
    bool emptyState = false;
};

class StateFilesTest : public test::EngineModuleFixture {
protected:
    void SetUp() override {
        EngineModuleFixture::SetUp();
        install(QUORVEL_ENGINE_LIBRARY, QUORVEL_ENGINE_DATA_DIR);
        registry_.writeDword(kHiveLocalMachine, kSettingsKey, u"usesMediaBar", 1);
    }
    void TearDown() override {
        VTR::destroyHeadlessWindows();
        MainWindow::setServices({});
        VTR::clearQuitPosted();
        EngineModuleFixture::TearDown();
    }

    // A module with its editor open in a main window whose state file selector answers from
    // `stateFiles_` (empty: cancelled).
    std::unique_ptr<EmptyStateModule> open(EngineOpcodeFunction opcode = nullptr) {
        MainWindowServices services;
        services.opcode = opcode;
        services.midiFileChooser = [](void*) { return std::u16string(u"/music/tune.mid"); };
        services.recordingFileChooser = [](void*) { return std::u16string(u"/takes/take.wav"); };
        services.stateFileChooser = [this](void*, bool save) {
            saves_.push_back(save);
            if (stateFiles_.empty()) return std::u16string();
            std::u16string path = stateFiles_.front();
            stateFiles_.pop_front();
            return path;
        };
        MainWindow::setServices(services);
        auto module = std::make_unique<EmptyStateModule>();
        EXPECT_TRUE(module->init(nullptr, &info_));
        module->showUI(nullptr);
        return module;
    }
    void command(SMPLModule& module, int id, const fs::path& chosen = {}) {
        if (!chosen.empty()) stateFiles_.push_back(narrowToWide(chosen.string()));
        MainWindow* window = test::mainWindowOf(module);
        ASSERT_NE(window, nullptr);
        window->onCommand(id);
    }
    // Gives the engine another state: a preset opened.
    void changeState(SMPLModule& module, const char* name) {
        const fs::path preset = scratch_ / (std::string(name) + ".preset");
        {
            std::ofstream(preset) << "BREVIAN-PRESET 1\n"
                                  << name << " 0.010 0.30 0.60 0.40 2400 0.30 1.0 4.0 0.10 0.70\n";
        }
        ASSERT_TRUE(module.openFile(preset.string()));
    }

    test::GuiScope gui_;
    std::deque<std::u16string> stateFiles_;
    std::vector<bool> saves_;
};

} // namespace

TEST_F(StateFilesTest, SaveAsAndLoadGiveTheEngineBackItsBytes) {
    test::EngineTestHome home;
    auto module = open();
    const fs::path song = scratch_ / "song.brevian";
    changeState(*module, "Song_Lead");
    const std::string saved = stateOf(*module);

    command(*module, kCommandSaveAs, song);
    EXPECT_EQ(readFile(song), saved) << "the engine's bytes, nothing added";
    EXPECT_FALSE(fs::exists(scratch_ / "song.brevian.saving")) << "no temporary file is left";

    changeState(*module, "Other_Pad");
    ASSERT_NE(stateOf(*module), saved);
    command(*module, kCommandLoad, song);
    EXPECT_EQ(stateOf(*module), saved);
    EXPECT_EQ(saves_, (std::vector<bool>{true, false}));

    // Cancelled selectors do nothing; a file that cannot be read is only logged.
    changeState(*module, "Other_Pad");
    const std::string other = stateOf(*module);
    command(*module, kCommandLoad);
    command(*module, kCommandSaveAs);
    command(*module, kCommandLoad, scratch_ / "missing.brevian");
    EXPECT_EQ(stateOf(*module), other);
    EXPECT_EQ(occurrences(home.readLog(), "state file cannot be opened"), 1u);
    EXPECT_TRUE(boxes_.boxes().empty()) << "loading stays silent";
}

TEST_F(StateFilesTest, AFailedSaveIsToldAndLeavesTheOldFileAsItWas) {
    test::EngineTestHome home;
    auto module = open();
    const fs::path song = scratch_ / "song.brevian";
    changeState(*module, "Song_Lead");
    command(*module, kCommandSaveAs, song);
    const std::string before = readFile(song);
    ASSERT_FALSE(before.empty());
    changeState(*module, "Other_Pad");

    struct Case {
        const char* what;
        fs::path target;
        const char* reason;
        bool emptyState = false;
    };
    fs::copy_file(song, scratch_ / "default.brevian"); // a user's default, writable
    fs::permissions(song, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(scratch_ / "folder.brevian");
    const std::vector<Case> cases = {
        {"a read-only file", song, "the file is read-only"},
        {"a folder in the file's place", scratch_ / "folder.brevian", "it is not a file"},
        {"a folder that does not exist", scratch_ / "gone" / "song.brevian", "its folder does not exist"},
        {"an engine that saves an empty state", scratch_ / "default.brevian",
         "the engine gave an empty state", true},
    };
    for (const Case& c : cases) {
        boxes_.clear();
        module->emptyState = c.emptyState;
        command(*module, kCommandSaveAs, c.target);
        const auto boxes = boxes_.boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].first, "Quorvel") << c.what; // the host's own error, not an installation one
        EXPECT_EQ(boxes[0].second, "The sound could not be saved to " + c.target.string() + ": " + c.reason +
                                       ". A file that was there is unchanged.")
            << c.what;
        EXPECT_EQ(occurrences(home.readLog(), "The sound could not be saved to " + c.target.string() + ":"),
                  1u)
            << c.what;
    }
    EXPECT_EQ(readFile(song), before) << "the old state is still there, byte for byte";
    EXPECT_EQ(readFile(scratch_ / "default.brevian"), before);
    EXPECT_TRUE(fs::is_directory(scratch_ / "folder.brevian"));
    for (const auto& entry : fs::directory_iterator(scratch_))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << entry.path();
    fs::permissions(song, fs::perms::owner_all);
}

TEST_F(StateFilesTest, SaveAsDefaultIsWhatTheNextStartLoads) {
    std::string lead;
    {
        test::EngineTestHome home;
        auto module = open();
        changeState(*module, "Default_Lead");
        lead = stateOf(*module);
        command(*module, kCommandSaveAsDefault);
        EXPECT_EQ(readFile(fs::path(home.folder()) / "default.brevian"), lead);
        VTR::destroyHeadlessWindows();
        module.reset();
        auto next = open();
        EXPECT_EQ(stateOf(*next), lead) << "the user's default, not the factory's";
        EXPECT_TRUE(boxes_.boxes().empty());
    }
    // Without the app data folder (the host never creates it) the save fails with a box.
    {
        test::EngineTestHome home(false);
        auto module = open();
        command(*module, kCommandSaveAsDefault);
        ASSERT_EQ(boxes_.boxes().size(), 1u);
        EXPECT_EQ(boxes_.boxes()[0].first, "Quorvel");
        EXPECT_NE(boxes_.boxes()[0].second.find("its folder does not exist"), std::string::npos);
        EXPECT_FALSE(fs::exists(home.folder()));
    }
}

TEST_F(StateFilesTest, TheIdleTickFollowsThePlayerAndStopsItAtTheEnd) {
    test::EngineTestHome home;
    test::OpcodeRecorder opcodes;
    auto module = open(test::OpcodeRecorder::function());
    MainWindow* window = test::mainWindowOf(*module);
    ASSERT_NE(window, nullptr);
    MIDIFilePlayerGUI* player = window->player();
    ASSERT_NE(player, nullptr);

    // Twenty ticks count; the twenty-first asks for the position and moves the slider (truncated).
    opcodes.setPosition(0.509);
    for (int i = 0; i < 20; ++i)
        window->onTimer(MainWindow::kIdleTimerId);
    EXPECT_TRUE(opcodes.calls().empty());
    window->onTimer(MainWindow::kIdleTimerId);
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_POSITION_GET}}));
    EXPECT_EQ(player->slider()->position(), 50);
    EXPECT_EQ(module->tickCounter(), 0);

    // At the end of the file: stopped and rewound.
    player->play();
    opcodes.setPosition(1.0);
    opcodes.clear();
    for (int i = 0; i < 21; ++i)
        window->onTimer(MainWindow::kIdleTimerId);
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_POSITION_GET},
                                                        {VE_ENGINE_MIDI_STOP},
                                                        {VE_ENGINE_MIDI_SEEK, "", 0, 0, 0.0f}}));
    EXPECT_FALSE(player->playing());
    EXPECT_TRUE(player->button(MIDIFilePlayerGUI::kPlayId)->isEnabled());
    EXPECT_FALSE(player->button(MIDIFilePlayerGUI::kStopId)->isEnabled());

    // Offline: a running recording stops first; the engine still idles but the slider is left
    // alone.
    AudioFileRecorderGUI* recorder = window->recorder();
    recorder->buttonClicked(AudioFileRecorderGUI::kEjectId);
    recorder->buttonClicked(AudioFileRecorderGUI::kRecordId);
    ASSERT_TRUE(recorder->recording());
    DSPInfo offline(48000.0, 256);
    offline.setOffline(true);
    opcodes.clear();
    module->setDSPInfo(&offline);
    EXPECT_TRUE(module->offline());
    EXPECT_FALSE(recorder->recording());
    for (int i = 0; i < 42; ++i)
        window->onTimer(MainWindow::kIdleTimerId);
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_RECORDING_STOP}}));

    // Back online: the player's file is loaded again and its controls are loaded and stopped.
    player->buttonClicked(MIDIFilePlayerGUI::kEjectId);
    player->play();
    opcodes.clear();
    DSPInfo online(44100.0, 512);
    module->setDSPInfo(&online);
    EXPECT_FALSE(module->offline());
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_LOAD, "/music/tune.mid"}}));
    EXPECT_FALSE(player->playing());
    EXPECT_TRUE(boxes_.boxes().empty());
}
