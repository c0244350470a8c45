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
    EXPECT_EQ(view.messages, (std::vector<std::u16string>{u"\"C:\\a\\bad.mid\" is not a MIDI file (or cannot be read)."}));
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
        // One new choice is enough, and the next render renders the MIDI file the dialog shows,
        // whatever the player was given meanwhile.
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
    const auto upTo = [&](size_t n) { return std::vector<OpcodeCall>(start.begin(), start.begin() + n); };
    std::vector<OpcodeCall> refusedFile = upTo(4);
    refusedFile.insert(refusedFile.end(), {{VE_ENGINE_OFFLINE_SET, "", 0}, {VE_ENGINE_RECORDING_REPORT_GET}});
    std::vector<OpcodeCall> asked = start; // the rate sizes the file in the question
    asked.insert(asked.begin() + 2, {VE_ENGINE_AUDIODEVICE_SETTINGS_GET});
    const struct {
        const char* name;
        double seconds;
        bool yes;
        int32_t load, fileSet;
        std::vector<OpcodeCall> calls;
        const char16_t* message;
        bool question, started, renderAfter;
    } table[] = {
        {"a file of an hour starts without a question", 3600.0, false, kEngineOk, kEngineOk, start, nullptr, false, true,
         false},
        {"a longer one asks, and No starts nothing", 3601.0, false, kEngineOk, kEngineOk,
         std::vector<OpcodeCall>(asked.begin(), asked.begin() + 3), nullptr, true, false, true},
        {"Yes starts it", 3601.0, true, kEngineOk, kEngineOk, asked, nullptr, true, true, false},
        {"an output that cannot be created is named and nothing starts", 10.0, true, kEngineOk, kEngineFailed,
         refusedFile, u"The audio file \"C:\\out\\take.wav\" cannot be created (Permission denied). Nothing was "
                      u"rendered; please choose another file.", false, false, false},
        {"a MIDI file that no longer loads is named", 10.0, true, kEngineFailed, kEngineOk, upTo(1),
         u"\"C:\\a\\tune.mid\" is not a MIDI file (or cannot be read).", false, false, false},
    };
    for (const auto& row : table) {
        OpcodeRecorder opcodes;
        opcodes.setOutputs([&](int32_t opcode, void* p1, void*, int32_t, int32_t, int32_t, int32_t answer) {
            if (opcode == VE_ENGINE_MIDI_DURATION_GET) *static_cast<double*>(p1) = row.seconds;
            if (opcode == VE_ENGINE_RECORDING_REPORT_GET) static_cast<RecordingReport*>(p1)->error = "Permission denied";
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
        EXPECT_EQ(dialog.startRender(), row.started) << row.name;
        EXPECT_EQ(opcodes.calls(), row.calls) << row.name;
        EXPECT_EQ(view.questions.size(), row.question ? 1u : 0u) << row.name;
        EXPECT_EQ(view.messages, row.message ? std::vector<std::u16string>{row.message} : std::vector<std::u16string>{})
            << row.name;
        EXPECT_EQ(view.alive, row.started ? 1 : 0) << row.name;
        EXPECT_EQ(view.render, row.renderAfter) << row.name;
    }
}

// The progress window's Cancel question runs a modal loop that dispatches the dialog's poll
// timer. The render ending meanwhile must not destroy the window under its own handler (the
// answer would then be written into freed memory); it finishes after the answer, and a Yes then
// changes nothing.
TEST(RenderOfflineTest, AnEndWhileTheCancelQuestionIsOpenFinishesOnceAfterTheAnswer) {
    for (const bool yes : {true, false}) {
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
            return yes;
        });
        view.real->onCancelCommand(); // the user pressed Cancel
        VxProgressDialog::setQuestionHook({});
        EXPECT_TRUE(opcodes.calls().empty()) << "nothing finished under the open question";
        dialog.poll();
        std::vector<OpcodeCall> expected{{VE_ENGINE_MIDI_POSITION_GET}};
        expected.insert(expected.end(), kFinish.begin(), kFinish.end());
        EXPECT_EQ(opcodes.calls(), expected) << "finished once, as a render that ended by itself";
        EXPECT_FALSE(dialog.rendering());
        dialog.poll();
        EXPECT_EQ(opcodes.calls().size(), expected.size());
    }
}
