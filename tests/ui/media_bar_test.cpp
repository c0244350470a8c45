// The media bar's panels on the real Win32 controls under Wine and on the headless twins natively:
// their layout, the state machines of the player and the recorder, and every opcode their
// handlers send (a recording stand-in for engineOpcode), in order and with its arguments.
#include "support/BoxCapture.h"
#include "support/LogCapture.h"
#include "support/OpcodeRecorder.h"
#include "toolkit/Application.h"
#include "ui/MainWindow.h"
#include "ui/MediaBar.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <deque>
#include <string>
#include <vector>

using namespace vantor;
using test::OpcodeCall;

namespace {

// Hands out the paths a test queued, one per selection; empty (cancelled) when none is left.
class Chooser {
public:
    void queue(std::u16string path) { paths_.push_back(std::move(path)); }
    PathChooser function() {
        return [this](void* owner) {
            owners_.push_back(owner);
            if (paths_.empty()) return std::u16string();
            std::u16string path = paths_.front();
            paths_.pop_front();
            return path;
        };
    }
    const std::vector<void*>& owners() const { return owners_; }

private:
    std::deque<std::u16string> paths_;
    std::vector<void*> owners_;
};

class MediaBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(application_.init());
        MainWindow::setServices({test::OpcodeRecorder::function(), midi_.function(), wav_.function(), {},
                                 [this](void* owner) { preferencesOwners_.push_back(owner); }});
    }
    void TearDown() override {
        MainWindow::setServices({});
        VTR::clearQuitPosted();
        application_.exit();
    }

    // A main window with its media bar, sized for an editor `width` x 300.
    MainWindow* openWindow(int width) {
        MainWindow* window = MainWindow::create(nullptr, true);
        EXPECT_NE(window, nullptr);
        window->chooseLayout(width);
        window->fitToEditor(width, 300, 100, 100);
        window->showAndStartIdle();
        EXPECT_NE(window->player(), nullptr);
        EXPECT_NE(window->recorder(), nullptr);
        return window;
    }

    // The enabled controls of a panel, by id, in id order.
    static std::vector<int> enabledPlayer(const MIDIFilePlayerGUI& player) {
        std::vector<int> on;
        for (int id : {1001, 1002, 1003, 1004})
            if (player.button(id)->isEnabled()) on.push_back(id);
        if (player.slider()->isEnabled()) on.push_back(1011);
        return on;
    }
    static std::vector<int> enabledRecorder(const AudioFileRecorderGUI& recorder) {
        std::vector<int> on;
        for (int id : {1005, 1006, 1007})
            if (recorder.button(id)->isEnabled()) on.push_back(id);
        return on;
    }

    VTR::Application application_;
    test::OpcodeRecorder opcodes_;
    Chooser midi_, wav_;
    std::vector<void*> preferencesOwners_;
    test::LogCapture log_;
};

} // namespace

TEST(MediaDisplayName, IsTheFileNameWithoutItsLastExtension) {
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"C:\\Music\\song.mid", u"song"},
        {u"C:\\Music\\song.take2.mid", u"song.take2"},
        {u"song.mid", u"song"},
        {u"C:\\Music\\noextension", u"noextension"},
        {u"C:\\dir.v2\\file", u"dir"}, // the last "." counts wherever it is
        {u"C:\\Music\\.mid", u""},
        {u"", u""},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(mediaDisplayName(path), name) << std::string(path.begin(), path.end());
}

TEST_F(MediaBarTest, ThePanelsSitUnderTheEditorWithTheirControls) {
    MainWindow* window = openWindow(760);
    int clientWidth = 0, clientHeight = 0;
    window->clientSize(clientWidth, clientHeight);
    ASSERT_EQ(clientHeight, 340);
    MIDIFilePlayerGUI& player = *window->player();
    AudioFileRecorderGUI& recorder = *window->recorder();

    struct Place {
        const VTR::NativeControl* control;
        int x, y, width, height, id;
        const char16_t* name;
    };
    const std::vector<Place> places = {
        {player.panel(), 0, 300, 465, 40, 0, u"panelname"},
        {player.button(1001), 10, 8, 24, 24, 1001, u"Push"},
        {player.button(1002), 40, 8, 24, 24, 1002, u"Push"},
        {player.button(1003), 70, 8, 24, 24, 1003, u"Push"},
        {player.button(1004), 100, 8, 24, 24, 1004, u"Push"},
        {player.slider(), 129, 8, 150, 24, 1011, u"Slider"},
        {player.label(), 284, 10, 175, 20, 0x0FFFFFFF, u"Label"},
        {recorder.panel(), 465, 300, 290, 40, 0, u"panelname"},
        {recorder.button(1005), 10, 8, 24, 24, 1005, u"Push"},
        {recorder.button(1006), 40, 8, 24, 24, 1006, u"Push"},
        {recorder.button(1007), 70, 8, 24, 24, 1007, u"Push"},
        {recorder.label(), 105, 10, 175, 20, 0x0FFFFFFF, u"Label"},
    };
    for (size_t i = 0; i < places.size(); ++i) {
        const Place& p = places[i];
        ASSERT_NE(p.control, nullptr) << i;
        EXPECT_NE(p.control->getHandle(), nullptr) << i;
        EXPECT_EQ(p.control->x(), p.x) << i;
        EXPECT_EQ(p.control->y(), p.y) << i;
        EXPECT_EQ(p.control->width(), p.width) << i;
        EXPECT_EQ(p.control->height(), p.height) << i;
        EXPECT_EQ(p.control->controlId(), p.id) << i;
        EXPECT_EQ(p.control->name(), p.name) << i;
    }
    EXPECT_EQ(player.label()->text(), u"Empty");
    EXPECT_EQ(recorder.label()->text(), u"Empty");
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1003})) << "only eject at first";
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1007}));
    EXPECT_EQ(player.slider()->position(), 0);

    // The engine asks for a narrower editor: the bar follows it down, the recorder moves left,
    // the panels keep their sizes; the window keeps its place.
    window->editorResized(754, 280);
    EXPECT_TRUE(window->smallerLayout());
    EXPECT_EQ(player.panel()->x(), 0);
    EXPECT_EQ(player.panel()->y(), 280);
    EXPECT_EQ(recorder.panel()->x(), 390);
    EXPECT_EQ(recorder.panel()->y(), 280);
    EXPECT_EQ(recorder.panel()->width(), 290);
    int x = 0, y = 0;
    window->position(x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 100);
    window->editorResized(755, 300);
    EXPECT_FALSE(window->smallerLayout());
    EXPECT_EQ(recorder.panel()->x(), 465);
    EXPECT_EQ(recorder.panel()->y(), 300);
    EXPECT_TRUE(opcodes_.calls().empty()) << "building and moving the bar sends nothing";

    window->destroy(); // the panels go with the window, each once
    EXPECT_TRUE(VTR::quitPosted());
}

TEST_F(MediaBarTest, TheSmallerLayoutNarrowsThePanelsAndLabels) {
    MainWindow* window = openWindow(754);
    EXPECT_EQ(window->player()->panel()->width(), 390);
    EXPECT_EQ(window->player()->label()->width(), 100);
    EXPECT_EQ(window->recorder()->panel()->x(), 390);
    EXPECT_EQ(window->recorder()->panel()->width(), 215);
    EXPECT_EQ(window->recorder()->label()->width(), 100);
    EXPECT_EQ(window->recorder()->label()->x(), 105);
    window->destroy();
}

TEST_F(MediaBarTest, ThePlayerLoadsPlaysStopsRewindsAndSeeks) {
    MainWindow* window = openWindow(760);
    MIDIFilePlayerGUI& player = *window->player();

    // Cancelled: nothing changes, nothing is sent.
    player.buttonClicked(1003);
    EXPECT_TRUE(opcodes_.calls().empty());
    EXPECT_TRUE(player.midiPath().empty());
    ASSERT_EQ(midi_.owners().size(), 1u);
    EXPECT_EQ(midi_.owners()[0], window->getHandle()) << "the main window is the selector's owner";

    // A file the player refuses: the user is told, the path is kept for the next reload.
    test::BoxCapture boxes;
    opcodes_.answer(VE_ENGINE_MIDI_LOAD, kEngineFailed);
    midi_.queue(u"C:\\Music\\broken.mid");
    player.buttonClicked(1003);
    EXPECT_EQ(opcodes_.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_LOAD, "C:\\Music\\broken.mid"}}));
    EXPECT_EQ(player.midiPath(), u"C:\\Music\\broken.mid");
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1003}));
    EXPECT_EQ(player.label()->text(), u"Empty");
    EXPECT_EQ(boxes.boxes(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Quorvel", "\"C:\\Music\\broken.mid\" is not a MIDI file (or cannot be read)."}}));

    // A file it loads, with a name that needs UTF-8: loaded and stopped.
    opcodes_.answer(VE_ENGINE_MIDI_LOAD, kEngineOk);
    opcodes_.clear();
    midi_.queue(u"C:\\Music\\Fr\u00e8re Jacques.mid");
    player.buttonClicked(1003);
    EXPECT_EQ(opcodes_.calls(),
              (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_LOAD, "C:\\Music\\Fr\xc3\xa8re Jacques.mid"}}));
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1001, 1003, 1004, 1011}));
    EXPECT_EQ(player.label()->text(), u"Fr\u00e8re Jacques");
    EXPECT_FALSE(player.playing());

    // Play, drag the slider, rewind, stop.
    opcodes_.clear();
    player.buttonClicked(1001);
    EXPECT_TRUE(player.playing());
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1002, 1003, 1004, 1011}));
    player.slider()->setValue(37, 0); // as a user's drag: every listener is told
    player.buttonClicked(1004);
    player.buttonClicked(1002);
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1001, 1003, 1004, 1011}));
    EXPECT_EQ(opcodes_.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_PLAY},
                                                         {VE_ENGINE_MIDI_SEEK, "", 0, 0, 0.37f},
                                                         {VE_ENGINE_MIDI_SEEK, "", 0, 0, 0.0f},
                                                         {VE_ENGINE_MIDI_STOP}}));

    // The timer's refresh moves the slider without a seek.
    opcodes_.clear();
    player.showPosition(62);
    EXPECT_EQ(player.slider()->position(), 62);
    EXPECT_TRUE(opcodes_.calls().empty());

    // A new stream: the file is loaded again and the controls are loaded and stopped.
    player.buttonClicked(1001);
    opcodes_.clear();
    window->reloadMidiFile();
    EXPECT_EQ(opcodes_.calls(),
              (std::vector<OpcodeCall>{{VE_ENGINE_MIDI_LOAD, "C:\\Music\\Fr\xc3\xa8re Jacques.mid"}}));
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1001, 1003, 1004, 1011}));
    EXPECT_EQ(player.slider()->position(), 0);

    opcodes_.answer(VE_ENGINE_MIDI_LOAD, kEngineFailed); // refused after a loaded one: the player holds none
    midi_.queue(u"C:\\Music\\notes.txt");
    player.buttonClicked(1003);
    EXPECT_EQ(enabledPlayer(player), (std::vector<int>{1003}));
    window->destroy();
}

TEST_F(MediaBarTest, ThePlayerWithoutAFileReloadsNothing) {
    MainWindow* window = openWindow(760);
    window->reloadMidiFile();
    window->stopRecording();
    EXPECT_TRUE(opcodes_.calls().empty());
    window->destroy();
}

TEST_F(MediaBarTest, TheRecorderRecordsOnlyWhatTheHostAccepted) {
    MainWindow* window = openWindow(760);
    AudioFileRecorderGUI& recorder = *window->recorder();

    recorder.buttonClicked(1007); // cancelled
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1007}));
    recorder.buttonClicked(1005); // record is disabled and has no file: nothing happens
    EXPECT_TRUE(opcodes_.calls().empty());

    wav_.queue(u"C:\\Takes\\take one.wav");
    recorder.buttonClicked(1007);
    EXPECT_EQ(recorder.outputPath(), u"C:\\Takes\\take one.wav");
    EXPECT_EQ(recorder.label()->text(), u"take one");
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1005, 1007}));

    // The host cannot create the file: the panel does not claim to record, and nothing starts.
    opcodes_.answer(VE_ENGINE_RECORDING_FILE_SET, kEngineFailed);
    recorder.buttonClicked(1005);
    EXPECT_EQ(opcodes_.calls(),
              (std::vector<OpcodeCall>{{VE_ENGINE_RECORDING_FILE_SET, "C:\\Takes\\take one.wav", 0, 32}}));
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1005, 1007}));

    // The file is set but the start is refused: still not recording.
    opcodes_.answer(VE_ENGINE_RECORDING_FILE_SET, kEngineOk);
    opcodes_.answer(VE_ENGINE_RECORDING_START, kEngineFailed);
    opcodes_.clear();
    recorder.buttonClicked(1005);
    EXPECT_EQ(opcodes_.calls(),
              (std::vector<OpcodeCall>{{VE_ENGINE_RECORDING_FILE_SET, "C:\\Takes\\take one.wav", 0, 32},
                                       {VE_ENGINE_RECORDING_START}}));
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1005, 1007}));

    // Both accepted: recording, only stop enabled.
    opcodes_.answer(VE_ENGINE_RECORDING_START, kEngineOk);
    opcodes_.clear();
    recorder.buttonClicked(1005);
    EXPECT_TRUE(recorder.recording());
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1006}));

    // Stop: idle, record stays disabled until a new file is chosen.
    recorder.buttonClicked(1006);
    EXPECT_EQ(opcodes_.calls(),
              (std::vector<OpcodeCall>{{VE_ENGINE_RECORDING_FILE_SET, "C:\\Takes\\take one.wav", 0, 32},
                                       {VE_ENGINE_RECORDING_START},
                                       {VE_ENGINE_RECORDING_STOP}}));
    EXPECT_FALSE(recorder.recording());
    EXPECT_TRUE(recorder.outputPath().empty());
    EXPECT_EQ(recorder.label()->text(), u"Empty");
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1007}));
    wav_.queue(u"C:\\Takes\\take two.wav");
    recorder.buttonClicked(1007);
    EXPECT_EQ(enabledRecorder(recorder), (std::vector<int>{1005, 1007}));

    // Going offline stops a running recording; the window's destruction stops one too.
    opcodes_.clear();
    recorder.buttonClicked(1005);
    window->stopRecording();
    EXPECT_FALSE(recorder.recording());
    wav_.queue(u"C:\\Takes\\take three.wav");
    recorder.buttonClicked(1007);
    recorder.buttonClicked(1005);
    ASSERT_TRUE(recorder.recording());
    opcodes_.clear();
    window->destroy();
    EXPECT_EQ(opcodes_.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_RECORDING_STOP}}));
}

TEST_F(MediaBarTest, TheMenuBarHasTheFileAndToolsCommands) {
    const auto& menus = MainWindow::menuBar();
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(std::u16string(menus[0].title), u"File");
    EXPECT_EQ(std::u16string(menus[1].title), u"Tools");
    std::vector<std::pair<std::u16string, int>> items;
    for (const auto& menu : menus)
        for (const auto& item : menu.items)
            items.emplace_back(item.text, item.id);
    EXPECT_EQ(items, (std::vector<std::pair<std::u16string, int>>{{u"Load", 4001},
                                                                  {u"Save as...", 4002},
                                                                  {u"Save as default", 4003},
                                                                  {u"Preferences", 2001},
                                                                  {u"Render offline", 2002}}));
    MainWindow* window = MainWindow::create(nullptr, false);
    EXPECT_TRUE(window->hasMenuBar());
#ifdef _WIN32
    // The real menu bar holds the same popups and items, in order, with their ids.
    HMENU bar = GetMenu(static_cast<HWND>(window->getHandle()));
    ASSERT_NE(bar, nullptr);
    std::vector<std::pair<std::u16string, int>> built;
    auto textOf = [](HMENU menu, int index) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(index), text, 64, MF_BYPOSITION);
        return std::u16string(text, text + wcslen(text));
    };
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        built.emplace_back(textOf(bar, i), -1);
        HMENU popup = GetSubMenu(bar, i);
        for (int j = 0; popup && j < GetMenuItemCount(popup); ++j)
            built.emplace_back(textOf(popup, j), static_cast<int>(GetMenuItemID(popup, j)));
    }
    EXPECT_EQ(built, (std::vector<std::pair<std::u16string, int>>{{u"File", -1},
                                                                  {u"Load", 4001},
                                                                  {u"Save as...", 4002},
                                                                  {u"Save as default", 4003},
                                                                  {u"Tools", -1},
                                                                  {u"Preferences", 2001},
                                                                  {u"Render offline", 2002}}));
#endif
    // Preferences runs its dialog over the main window. Render offline's dialog is modal, so it
    // is only run here where there is none (tested on its own).
    window->onCommand(2001);
    EXPECT_EQ(preferencesOwners_, (std::vector<void*>{window->getHandle()}));
#if !defined(_WIN32)
    window->onCommand(2002);
#endif
    window->onCommand(4001); // no engine module: nothing to load into
    window->onCommand(9999);
#if !defined(_WIN32)
    EXPECT_TRUE(log_.has('I', "Render offline: no dialog without a desktop"));
#endif
    EXPECT_TRUE(opcodes_.calls().empty());
    window->destroy();
}
