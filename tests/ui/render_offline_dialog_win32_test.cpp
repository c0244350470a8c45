// The render dialog from the program's template, driven with messages from inside its modal loop
// (a thread timer, one step a tick): Escape does not close it, the close box does not while a
// render runs, and does once the render has ended.
#include "support/BoxCapture.h"
#include "support/OpcodeRecorder.h"
#include "toolkit/Application.h"
#include "ui/RenderOffline.h"
#include "ui/RenderOfflineDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include <windows.h>

using namespace vantor;

namespace {

std::vector<std::function<bool(HWND)>>* script = nullptr;
size_t stepsDone = 0;
int ticks = 0;

void CALLBACK driveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"Render Offline");
    // Bounded: about 20 s of 50 ms ticks; a dialog that closed too early ends the script.
    if (!script || ++ticks > 400 || (stepsDone > 0 && !dialog) || stepsDone == script->size()) {
        KillTimer(nullptr, timer);
        return;
    }
    if (dialog && IsWindowVisible(dialog) && (*script)[stepsDone](dialog)) ++stepsDone;
}

} // namespace

TEST(RenderOfflineDialog, EscapeNeverClosesItAndTheCloseBoxOnlyWhenNoRenderRuns) {
    VTR::setModuleInstance(GetModuleHandleW(nullptr));
    VTR::Application application;
    ASSERT_TRUE(application.init());
    test::OpcodeRecorder host;
    test::BoxCapture boxes;
    std::vector<std::function<bool(HWND)>> steps = {
        [](HWND dialog) { // Escape, as the dialog manager sees the key
            PostMessageW(GetDlgItem(dialog, RenderOffline::kChooseMidi), WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        },
        [](HWND dialog) { // still open: both files, then Render
            for (int id : {RenderOffline::kChooseMidi, RenderOffline::kChooseAudio, RenderOffline::kRender})
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
            return true;
        },
        [&](HWND dialog) { // the close box while the progress window is up: refused
            if (IsWindowEnabled(dialog)) return false;
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            host.setPosition(1.0);
            return true;
        },
        [](HWND dialog) { // the next poll finished the render: now it closes
            if (!IsWindowEnabled(dialog)) return false;
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            return true;
        },
    };
    script = &steps;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &driveDialog);
    runRenderOfflineDialog(nullptr, test::OpcodeRecorder::function(),
                           {[](void*) { return std::u16string(u"Z:\\tmp\\tune.mid"); },
                            [](void*) { return std::u16string(u"Z:\\tmp\\take.wav"); }});
    KillTimer(nullptr, timer);
    script = nullptr;
    EXPECT_EQ(stepsDone, steps.size()) << "the dialog closed after step " << stepsDone;
    const auto& calls = host.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), test::OpcodeCall{VE_ENGINE_AUDIO_START}), calls.end())
        << "the render ran";
    EXPECT_TRUE(boxes.boxes().empty());
    application.exit();
}
