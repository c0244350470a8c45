// The file selector's builders under Wine, driven in-process: a helper thread finds each common
// dialog by its caption, reads its file-type list and answers it; the overwrite question is
// answered Yes and No. The real main window's selectors disable it while they are open.
#include "toolkit/FileSelector.h"
#include "toolkit/ToolkitWin32Fixture.h"
#include "ui/MainWindow.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <dlgs.h>

namespace vantor::VTR {
namespace {

HWND waitForWindow(const wchar_t* caption, DWORD timeoutMs = 20000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        HWND found = FindWindowW(L"#32770", caption);
        if (found && IsWindowVisible(found)) return found;
        Sleep(20);
    }
    return nullptr;
}

struct DialogSeen {
    std::vector<std::wstring> types;
    int selected = -1;
};

DialogSeen readTypes(HWND dialog) {
    DialogSeen seen;
    HWND list = GetDlgItem(dialog, cmb1);
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        seen.types.push_back(text);
    }
    seen.selected = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
    return seen;
}

// Types a name into the dialog's file-name field and presses OK (or cancels when empty).
void answer(HWND dialog, const std::wstring& name) {
    if (name.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    HWND field = GetDlgItem(dialog, cmb13);
    if (!field) field = GetDlgItem(dialog, edt1);
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

std::wstring folder() {
    const auto dir = std::filesystem::temp_directory_path() / "quorvel-file-selector";
    std::filesystem::create_directories(dir);
    return dir.wstring();
}

TEST(FileSelectorDialogs, MidiOpenShowsItsTypesAndCancelGivesNothing) {
    DialogSeen seen;
    std::thread driver([&] {
        HWND dialog = waitForWindow(L"Select a MIDI file");
        if (!dialog) return;
        seen = readTypes(dialog);
        answer(dialog, L"");
    });
    const std::u16string chosen = selectMidiFile(nullptr);
    driver.join();
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(seen.types, (std::vector<std::wstring>{L"MIDI Files (.mid)", L"MIDI Files (.midi)",
                                                     L"All Types: (*.mid;*.midi)", L"Any Type (*.*)"}));
    EXPECT_EQ(seen.selected, 2);
}

TEST(FileSelectorDialogs, OneExtensionSaveUsesTheCallersTitleAndType) {
    DialogSeen seen;
    const std::wstring dir = folder();
    std::thread driver([&] {
        HWND dialog = waitForWindow(L"Save the state");
        if (!dialog) return;
        seen = readTypes(dialog);
        answer(dialog, dir + L"\\state-one");
    });
    const std::u16string chosen = selectFileWithExtension(nullptr, true, u"Save the state", u"brevian");
    driver.join();
    EXPECT_EQ(seen.types, (std::vector<std::wstring>{L"BREVIAN File (.brevian)"}));
    EXPECT_EQ(std::wstring(chosen.begin(), chosen.end()), dir + L"\\state-one.brevian");
}

// An existing file: No reopens the dialog (answered then with a new name), Yes keeps the file.
TEST(FileSelectorDialogs, RecordingOverwriteQuestionAnsweredNoThenYes) {
    const std::wstring dir = folder();
    const std::wstring existing = dir + L"\\take.wav";
    std::ofstream(std::filesystem::path(existing)) << "RIFF";
    const std::wstring fresh = dir + L"\\fresh.wav";
    std::filesystem::remove(std::filesystem::path(fresh));

    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "Yes" : "No");
        DialogSeen seen;
        std::wstring question;
        int dialogs = 0;
        std::thread driver([&] {
            HWND dialog = waitForWindow(L"Record Audio into");
            if (!dialog) return;
            ++dialogs;
            seen = readTypes(dialog);
            answer(dialog, existing);
            HWND box = waitForWindow(L"");
            if (!box) return;
            wchar_t text[512] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            question = text;
            PostMessageW(box, WM_COMMAND, replace ? IDYES : IDNO, 0);
            if (replace) return;
            // Wait for the first dialog to go before looking for the second.
            while (IsWindow(dialog)) Sleep(20);
            dialog = waitForWindow(L"Record Audio into");
            if (!dialog) return;
            ++dialogs;
            answer(dialog, fresh);
        });
        const std::u16string chosen = selectRecordingFile(nullptr);
        driver.join();
        EXPECT_EQ(seen.types, (std::vector<std::wstring>{L"WAV Files (.wav)"}));
        EXPECT_EQ(question, L"\"take.wav\" already exists. Do you want to replace it?\nReplacing it will overwrite "
                            L"its current contents.");
        EXPECT_EQ(dialogs, replace ? 1 : 2);
        EXPECT_EQ(std::wstring(chosen.begin(), chosen.end()), replace ? existing : fresh);
    }
}

// Closing the main window while one of its file dialogs runs would delete the panel whose handler
// runs it: the window is disabled meanwhile and enabled again once the dialog is answered.
TEST(FileSelectorDialogs, TheMainWindowIsDisabledWhileItsDialogsAreOpen) {
    MainWindow::setServices({}); // the real selectors
    MainWindow* window = MainWindow::create(nullptr, true);
    window->showAndStartIdle();
    HWND main = static_cast<HWND>(window->getHandle());
    const std::vector<std::pair<const wchar_t*, std::function<void()>>> dialogs = {
        {L"Select a MIDI file", [&] { window->player()->buttonClicked(MIDIFilePlayerGUI::kEjectId); }},
        {L"Record Audio into", [&] { window->recorder()->buttonClicked(AudioFileRecorderGUI::kEjectId); }},
        {L"Save brevian file", [&] { window->onCommand(kCommandSaveAs); }}};
    for (const auto& [caption, open] : dialogs) {
        BOOL enabledWhileOpen = TRUE;
        std::thread user([&, caption = caption] {
            HWND dialog = waitForWindow(caption);
            enabledWhileOpen = IsWindowEnabled(main);
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        open();
        user.join();
        EXPECT_FALSE(enabledWhileOpen) << caption;
        EXPECT_TRUE(IsWindowEnabled(main)) << caption;
    }
    window->destroy();
    clearQuitPosted();
}

} // namespace
} // namespace vantor::VTR
