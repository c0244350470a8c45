// The render dialog from the program's template, driven with messages from inside its modal loop
// (a thread timer, one step a tick): Escape does not close it, the close box does not while a
// render runs, and does once the render has ended.
#include "support/BoxCapture.h"
#include "support/OpcodeRecorder.h"
#include "toolkit/Application.h"
#include "ui/RenderOffline.h"
#include "ui/RenderOfflineDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <windows.h>

using namespace vantor;

namespace {
std::vector<std::function<bool(HWND)>> steps; // each returns true once done
size_t stepsDone = 0;
int ticks = 0;

void CALLBACK driveDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"Render Offline");
    if (stepsDone < steps.size() && dialog && IsWindowVisible(dialog) && steps[stepsDone](dialog))
        ++stepsDone;
    if (++ticks == 400 && dialog) EndDialog(dialog, 0); // about 20 s: a step that never came
}
} // namespace

TEST(RenderOfflineDialog, EscapeNeverClosesItAndTheCloseBoxOnlyWhenNoRenderRuns) {
    VTR::Application application;
    ASSERT_TRUE(application.init());
    test::OpcodeRecorder host;
    test::BoxCapture boxes;
    steps = {
        [](HWND dialog) { // Escape, as the dialog manager sees the key
            return PostMessageW(GetDlgItem(dialog, RenderOffline::kRender), WM_KEYDOWN, VK_ESCAPE, 0) != 0;
        },
        [](HWND dialog) { // still open: both files, then Render
            for (int id : {RenderOffline::kChooseMidi, RenderOffline::kChooseAudio, RenderOffline::kRender})
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
            return true;
        },
        [&](HWND dialog) { // the close box under the progress window: refused; then the end comes
            if (IsWindowEnabled(dialog)) return false;
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            host.setPosition(1.0);
            return true;
        },
        [](HWND dialog) { // the poll finished the render: now it closes
            return IsWindowEnabled(dialog) && (SendMessageW(dialog, WM_CLOSE, 0, 0), true);
        }};
    stepsDone = ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &driveDialog);
    runRenderOfflineDialog(nullptr, test::OpcodeRecorder::function(),
                           {[](void*) { return std::u16string(u"Z:\\tmp\\tune.mid"); },
                            [](void*) { return std::u16string(u"Z:\\tmp\\take.wav"); }});
    KillTimer(nullptr, timer);
    EXPECT_EQ(stepsDone, steps.size()) << "the dialog closed after step " << stepsDone;
    EXPECT_EQ(host.calls().back(), (test::OpcodeCall{VE_ENGINE_OFFLINE_SET, "", 0}))
        << "a render ran to its end";
    application.exit();
}
