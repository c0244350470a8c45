// The render dialog's behaviour through a recording opcode fake: the display-name rule, when
// Render is enabled, the start sequence and what stops it, the poll, the finish sequence at the
// end and on a confirmed cancel (also when the end comes while the question is open), and audio
// stopped while the dialog is open and restarted after.
#include "ui/RenderOffline.h"

#include "support/OpcodeRecorder.h"
#include "toolkit/VxProgressDialog.h"

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
        if (!realWindow) return std::make_unique<FakeProgress>(&progress, &cancel, &alive);
        auto window = std::make_unique<VxProgressDialog>(title, nullptr, range, button, confirm, false);
        real = window.get();
        return window;
    }
    void showMessage(const std::u16string& text) override { messages.push_back(text); }
    bool askYesNo(const std::u16string& text) override {
        questions.push_back(text);
        return yes;
    }
    std::vector<std::u16string> messages, questions;
    bool yes = true;
    bool realWindow = false; // the real progress window (without a desktop: no window), in `real`
    VxProgressDialog* real = nullptr;
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

// The MIDI file (loaded again) and the output file of the start sequence, up to audio start.
std::vector<OpcodeCall> startCalls(const char* midi, const char* wav) {
    return {{VE_ENGINE_MIDI_LOAD, midi},
            {VE_ENGINE_MIDI_DURATION_GET},
            {VE_ENGINE_OFFLINE_SET, "", 1},
            {VE_ENGINE_RECORDING_FILE_SET, wav, 0, 32, 0.0f, kRecordingFileCallerReports},
            {VE_ENGINE_RECORDING_START},
            {VE_ENGINE_MIDI_PLAY},
            {VE_ENGINE_AUDIO_START}};
}

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
        EXPECT_EQ(opcodes.calls(), startCalls("C:\\a\\tune.mid", "C:\\out\\take.wav"));
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
        EXPECT_EQ(view.labels[RenderOffline::kMidiLabel], u"tune") << "the dialog shows what it rendered";
        EXPECT_EQ(view.labels[RenderOffline::kAudioLabel], u"take");
        EXPECT_FALSE(view.render);
        // One new choice is enough; the next render loads the MIDI file the dialog shows again.
        dialog.outputChosen(u"C:\\out\\again.wav");
        EXPECT_TRUE(view.render);
        opcodes.clear();
        ASSERT_TRUE(dialog.startRender());
        EXPECT_EQ(opcodes.calls(), startCalls("C:\\a\\tune.mid", "C:\\out\\again.wav"));
        opcodes.setPosition(1.0);
        dialog.poll();
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
    const std::vector<OpcodeCall> start = startCalls("C:\\a\\tune.mid", "C:\\out\\take.wav");
    EXPECT_EQ(opcodes.calls(), std::vector<OpcodeCall>(start.begin(), start.begin() + 3));
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

TEST(RenderOfflineTest, RenderStartsOnlyWithFilesItCanUse) {
    const std::vector<OpcodeCall> start = startCalls("C:\\a\\tune.mid", "C:\\out\\take.wav");
    std::vector<OpcodeCall> asked = start, refused(start.begin(), start.begin() + 4);
    asked.insert(asked.begin() + 2, {VE_ENGINE_AUDIODEVICE_SETTINGS_GET}); // the rate sizes the file
    refused.insert(refused.end(), {{VE_ENGINE_OFFLINE_SET, "", 0}, {VE_ENGINE_RECORDING_REPORT_GET}});
    const std::u16string refusedText = u"The audio file \"C:\\out\\take.wav\" cannot be created (Permission "
                                       u"denied). Nothing was rendered; please choose another file.";
    const std::u16string notMidiText = u"\"C:\\a\\tune.mid\" is not a MIDI file (or cannot be read).";
    const struct {
        double seconds; // longer than an hour: asked
        bool yes;
        int32_t load, fileSet;
        std::vector<OpcodeCall> calls;
        std::u16string message;
    } table[] = {
        {3601.0, false, kEngineOk, kEngineOk, {asked.begin(), asked.begin() + 3}, {}},
        {3601.0, true, kEngineOk, kEngineOk, asked, {}},
        {3600.0, true, kEngineOk, kEngineFailed, refused, refusedText},
        {10.0, true, kEngineFailed, kEngineOk, {start[0]}, notMidiText},
    };
    for (const auto& row : table) {
        OpcodeRecorder opcodes;
        opcodes.setOutputs([&](int32_t opcode, void* p1, void*, int32_t, int32_t, int32_t, int32_t answer) {
            if (opcode == VE_ENGINE_MIDI_DURATION_GET) *static_cast<double*>(p1) = row.seconds;
            if (opcode == VE_ENGINE_RECORDING_REPORT_GET)
                static_cast<RecordingReport*>(p1)->error = "Permission denied";
            return answer;
        });
        FakeView view;
        view.yes = row.yes;
        RenderOffline dialog(OpcodeRecorder::function(), view);
        dialog.midiChosen(u"C:\\a\\tune.mid");
        dialog.outputChosen(u"C:\\out\\take.wav");
        opcodes.answer(VE_ENGINE_MIDI_LOAD, row.load);
        opcodes.answer(VE_ENGINE_RECORDING_FILE_SET, row.fileSet);
        opcodes.clear();
        const bool started = row.calls.back().opcode == VE_ENGINE_AUDIO_START;
        EXPECT_EQ(dialog.startRender(), started);
        EXPECT_EQ(opcodes.calls(), row.calls);
        EXPECT_EQ(view.questions.size(), row.seconds > 3600.0 && row.load == kEngineOk ? 1u : 0u);
        EXPECT_EQ(view.messages.empty() ? u"" : view.messages.back(), row.message);
        EXPECT_EQ(view.alive, started ? 1 : 0);
        EXPECT_EQ(view.render, !started && !row.yes) << "a declined render can be started again";
    }
}

// The Cancel question's modal loop dispatches the poll timer: a render ending meanwhile must not
// destroy the window under its own handler (the answer would go to freed memory).
TEST(RenderOfflineTest, AnEndWhileTheCancelQuestionIsOpenFinishesOnceAfterTheAnswer) {
    OpcodeRecorder opcodes;
    FakeView view;
    view.realWindow = true;
    RenderOffline dialog(OpcodeRecorder::function(), view);
    dialog.midiChosen(u"C:\\a\\tune.mid");
    dialog.outputChosen(u"C:\\out\\take.wav");
    ASSERT_TRUE(dialog.startRender());
    opcodes.clear();
    VxProgressDialog::setQuestionHook([&](const std::u16string&, const std::u16string&) {
        opcodes.setPosition(1.0); // the render ends while the box is open
        dialog.poll();            // its modal loop runs the timer
        return true;
    });
    view.real->onCancelCommand(); // the user pressed Cancel
    VxProgressDialog::setQuestionHook({});
    EXPECT_TRUE(opcodes.calls().empty()) << "nothing finished under the open question";
    dialog.poll();
    dialog.poll();
    std::vector<OpcodeCall> expected{{VE_ENGINE_MIDI_POSITION_GET}};
    expected.insert(expected.end(), kFinish.begin(), kFinish.end());
    EXPECT_EQ(opcodes.calls(), expected) << "finished once, as a render that ended by itself";
}
