#include "ui/RenderOfflineDialog.h"

#include "app/UserMessage.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "toolkit/FileSelector.h"
#include "toolkit/VxProgressDialog.h"
#include "ui/RenderOffline.h"
#include "util/ProductNames.h"

#include <windows.h>

#include <memory>
#include <optional>

namespace vantor {

namespace {

constexpr int kTemplate = 116;

// The dialog window as the render logic sees it.
class DialogView final : public RenderOfflineView {
public:
    HWND hwnd = nullptr;
    std::optional<RenderOffline> logic;
    RenderFileChoosers choosers;

    void setLabel(int id, const std::u16string& text) override {
        SetDlgItemTextW(hwnd, id, reinterpret_cast<const wchar_t*>(text.c_str()));
    }
    void enableRender(bool on) override { EnableWindow(GetDlgItem(hwnd, RenderOffline::kRender), on); }
    void startPollTimer() override { SetTimer(hwnd, RenderOffline::kPollTimer, RenderOffline::kPollMilliseconds, nullptr); }
    void stopPollTimer() override { KillTimer(hwnd, RenderOffline::kPollTimer); }
    std::unique_ptr<VxProgressDialogBase> makeProgress(const std::u16string& title, uint16_t range, bool cancelButton,
                                                       bool confirmCancel) override {
        return std::make_unique<VxProgressDialog>(title, hwnd, range, cancelButton, confirmCancel, false);
    }
    void showMessage(const std::u16string& text) override {
        showMessageBox(kProductName, wideToNarrow(text));
    }
    bool askYesNo(const std::u16string& text) override {
        return MessageBoxW(hwnd, reinterpret_cast<const wchar_t*>(text.c_str()), L"Render Offline",
                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    }
};

INT_PTR CALLBACK dialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<DialogView*>(lParam)->hwnd = hwnd;
        return TRUE;
    }
    auto* view = reinterpret_cast<DialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!view || !view->logic) return FALSE;
    RenderOffline& logic = *view->logic;
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) != 0) return FALSE;
        switch (LOWORD(wParam)) {
        case RenderOffline::kChooseMidi: {
            // The selector disables the dialog while it runs.
            const std::u16string path =
                view->choosers.midi ? view->choosers.midi(hwnd) : VTR::selectMidiFile(hwnd);
            if (!path.empty()) logic.midiChosen(path);
            return TRUE;
        }
        case RenderOffline::kChooseAudio: {
            const std::u16string path =
                view->choosers.output ? view->choosers.output(hwnd) : VTR::selectRecordingFile(hwnd);
            if (!path.empty()) logic.outputChosen(path);
            return TRUE;
        }
        case RenderOffline::kRender:
            logic.startRender();
            return TRUE;
        default:
            return FALSE; // Escape does not close the dialog
        }
    case WM_CLOSE:
        if (!logic.rendering()) EndDialog(hwnd, 1);
        return TRUE;
    case WM_TIMER:
        if (wParam != RenderOffline::kPollTimer) return FALSE;
        logic.poll();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void runRenderOfflineDialog(void* owner, EngineOpcodeFunction opcode, RenderFileChoosers choosers) {
    DialogView view;
    view.choosers = std::move(choosers);
    view.logic.emplace(opcode, view); // stops audio that plays
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate),
                                           static_cast<HWND>(owner), &dialogProcedure,
                                           reinterpret_cast<LPARAM>(&view));
    if (result == -1) logError("Render offline: the dialog could not be created, error ", GetLastError());
    view.logic.reset(); // restarts audio that played
}

} // namespace vantor
