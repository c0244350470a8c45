// The render dialog's behaviour through a recording opcode fake: the display-name rule, when
// Render is enabled, the start sequence, the poll, the finish sequence at the end and on a
// confirmed cancel, and audio stopped while the dialog is open and restarted after.
#include "ui/RenderOffline.h"

#include "support/OpcodeRecorder.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using vantor::RenderOffline;
using vantor::test::OpcodeCall;
using vantor::test::OpcodeRecorder;
using namespace vantor;

namespace {

struct FakeProgress : VxProgressDialogBase {
    explicit FakeProgress(std::vector<uint32_t>* seen, bool* cancel, int* alive)
        : seen_(seen), cancel_(cancel), alive_(alive) {
        ++*alive_;
    }
    ~FakeProgress() override { --*alive_; }
    bool setMessage(const std::u16string&) override { return !*cancel_; }
    bool setProgress(uint32_t value) override {
        seen_->push_back(value);
        return !*cancel_;
    }
    std::vector<uint32_t>* seen_;
    bool* cancel_;
    int* alive_;
};

struct FakeView : RenderOfflineView {
    void setLabel(int id, const std::u16string& text) override { labels[id] = text; }
    void enableRender(bool on) override { render = on; }
    void startPollTimer() override { timer = true; }
    void stopPollTimer() override { timer = false; }
    std::unique_ptr<VxProgressDialogBase> makeProgress(const std::u16string& title, uint16_t range, bool button,
                                                       bool confirm) override {
        progressTitle = title;
        progressRange = range;
        cancelButton = button;
        confirmCancel = confirm;
        return std::make_unique<FakeProgress>(&progress, &cancel, &alive);
    }
    std::map<int, std::u16string> labels;
    bool render = false, timer = false, cancelButton = false, confirmCancel = false, cancel = false;
    std::u16string progressTitle;
    uint16_t progressRange = 0;
    std::vector<uint32_t> progress;
    int alive = 0;
};

const std::vector<OpcodeCall> kFinish = {{VE_ENGINE_MIDI_STOP},      {VE_ENGINE_MIDI_SEEK},
                                         {VE_ENGINE_RECORDING_STOP}, {VE_ENGINE_AUDIO_STOP},
                                         {VE_ENGINE_OFFLINE_SET, "", 0}};

} // namespace

TEST(RenderOfflineTest, DisplayNameTakesThePathBeforeItsLastDotAfterItsLastBackslash) {
    const struct {
        const char16_t* path;
        const char16_t* shown;
    } table[] = {
        {u"C:\\music\\song.mid", u"song"},
        {u"C:\\music\\song.final.mid", u"song.final"},
        {u"C:\\music\\song", u"song"},
        {u"C:\\my.music\\song", u"my"}, // a dot in the folder counts when the file has none
        {u"song.wav", u"song"},
        {u"", u""},
    };
    for (const auto& row : table) EXPECT_EQ(RenderOffline::displayName(row.path), row.shown);
}

TEST(RenderOfflineTest, RenderIsEnabledOnlyAfterALoadedMidiFileAndAnOutput) {
    OpcodeRecorder opcodes;
    FakeView view;
    RenderOffline dialog(OpcodeRecorder::function(), view);
    opcodes.answer(VE_ENGINE_MIDI_LOAD, kEngineFailed);
    EXPECT_FALSE(dialog.midiChosen(u"C:\\a\\bad.mid"));
    EXPECT_EQ(view.labels.count(RenderOffline::kMidiLabel), 0u);
    dialog.outputChosen(u"C:\\out\\take.wav");
    EXPECT_EQ(view.labels[RenderOffline::kAudioLabel], u"take");
    EXPECT_FALSE(view.render);
    EXPECT_FALSE(dialog.startRender());
    opcodes.answer(VE_ENGINE_MIDI_LOAD, kEngineOk);
    EXPECT_TRUE(dialog.midiChosen(u"C:\\a\\tune.mid"));
    EXPECT_EQ(view.labels[RenderOffline::kMidiLabel], u"tune");
    EXPECT_TRUE(view.render);
}

TEST(RenderOfflineTest, RenderRunsTheSequencePollsAndFinishesAtTheEndThenAudioRestarts) {
    OpcodeRecorder opcodes;
    opcodes.setPlaying(true);
    FakeView view;
    {
        RenderOffline dialog(OpcodeRecorder::function(), view);
        EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_AUDIO_ISPLAYING}, {VE_ENGINE_AUDIO_STOP}}));
        dialog.midiChosen(u"C:\\a\\tune.mid");
        dialog.outputChosen(u"C:\\out\\take.wav");
        opcodes.clear();
        ASSERT_TRUE(dialog.startRender());
        EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_OFFLINE_SET, "", 1},
                                                            {VE_ENGINE_RECORDING_FILE_SET, "C:\\out\\take.wav", 0, 32},
                                                            {VE_ENGINE_RECORDING_START},
                                                            {VE_ENGINE_MIDI_PLAY},
                                                            {VE_ENGINE_AUDIO_START}}));
        EXPECT_EQ(view.progressTitle, u"Rendering");
        EXPECT_EQ(view.progressRange, 100);
        EXPECT_TRUE(view.cancelButton && view.confirmCancel);
        EXPECT_TRUE(view.timer);
        EXPECT_FALSE(view.render);

        opcodes.clear();
        opcodes.setPosition(0.379);
        dialog.poll();
        EXPECT_EQ(view.progress, (std::vector<uint32_t>{37}));
        EXPECT_EQ(view.alive, 1);
        opcodes.clear();
        opcodes.setPosition(1.0);
        dialog.poll();
        std::vector<OpcodeCall> expected{{VE_ENGINE_MIDI_POSITION_GET}};
        expected.insert(expected.end(), kFinish.begin(), kFinish.end());
        EXPECT_EQ(opcodes.calls(), expected);
        EXPECT_EQ(view.alive, 0);
        EXPECT_FALSE(view.timer);
        EXPECT_EQ(view.labels[RenderOffline::kMidiLabel], u"No selection");
        EXPECT_EQ(view.labels[RenderOffline::kAudioLabel], u"No selection");
        EXPECT_FALSE(view.render);
        // One new choice is enough: the other file of the last render is still set.
        dialog.outputChosen(u"C:\\out\\again.wav");
        EXPECT_TRUE(view.render);
        opcodes.clear();
    }
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_AUDIO_START}}));
}

TEST(RenderOfflineTest, ARefusedOfflineSwitchSendsNothingElseAndAConfirmedCancelFinishesAtOnce) {
    OpcodeRecorder opcodes;
    FakeView view;
    RenderOffline dialog(OpcodeRecorder::function(), view);
    dialog.midiChosen(u"C:\\a\\tune.mid");
    dialog.outputChosen(u"C:\\out\\take.wav");
    opcodes.answer(VE_ENGINE_OFFLINE_SET, kEngineFailed);
    opcodes.clear();
    EXPECT_FALSE(dialog.startRender());
    EXPECT_EQ(opcodes.calls(), (std::vector<OpcodeCall>{{VE_ENGINE_OFFLINE_SET, "", 1}}));
    EXPECT_EQ(view.alive, 0);

    opcodes.answer(VE_ENGINE_OFFLINE_SET, kEngineOk);
    dialog.outputChosen(u"C:\\out\\take.wav");
    ASSERT_TRUE(dialog.startRender());
    opcodes.clear();
    opcodes.setPosition(0.5);
    view.cancel = true; // the user pressed Cancel and confirmed
    dialog.poll();
    std::vector<OpcodeCall> expected{{VE_ENGINE_MIDI_POSITION_GET}};
    expected.insert(expected.end(), kFinish.begin(), kFinish.end());
    EXPECT_EQ(opcodes.calls(), expected);
    EXPECT_FALSE(dialog.rendering());
    EXPECT_EQ(view.alive, 0);
}
