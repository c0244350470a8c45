// Running the common file dialogs for VFileSelector, and the host's three request builders.
#include "toolkit/FileSelector.h"

#include "log/Log.h"

#include <cstring>
#include <filesystem>

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

namespace vantor::VTR {

namespace {

const wchar_t* w(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* w(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}

constexpr size_t kFileBuffer = 1024;           // 1023 characters
constexpr size_t kMultipleFileBuffer = 102400; // 102399 characters
constexpr size_t kFolderBuffer = 1024;

// The folder selection's answer, shared by all folder selections (one at a time, GUI thread).
wchar_t selectedFolder[kFolderBuffer];
bool folderChosen = false;
WNDPROC okButtonProcedure = nullptr;

std::wstring currentFolder(HWND dialog) {
    wchar_t folder[kFolderBuffer] = {};
    SendMessageW(dialog, CDM_GETFOLDERPATH, kFolderBuffer, reinterpret_cast<LPARAM>(folder));
    return folder;
}

// Save dialogs: retitle when the user changes the file type.
UINT_PTR CALLBACK saveHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData);
        return 0;
    }
    if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != CDN_TYPECHANGE) return 0;
    HWND dialog = GetParent(child);
    const auto* request = reinterpret_cast<const FileSelectorRequest*>(GetWindowLongPtrW(child, GWLP_USERDATA));
    std::wstring title = request ? w(request->title) : L"";
    if (title.empty()) {
        wchar_t text[1024] = {};
        GetWindowTextW(dialog, text, 1024);
        title = text;
        if (const size_t dash = title.find(L'-'); dash != std::wstring::npos) title.resize(dash);
    }
    title += L" - [" + currentFolder(dialog) + L"]";
    SetWindowTextW(dialog, title.c_str());
    return 0;
}

LRESULT CALLBACK okButton(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam && lstrcmpW(reinterpret_cast<const wchar_t*>(lParam), L"Select") != 0)
        return TRUE; // the dialog's own "Open" captions are not wanted
    if (message == WM_LBUTTONUP) {
        HWND dialog = GetParent(button);
        const std::wstring before = currentFolder(dialog);
        const LRESULT result = CallWindowProcW(okButtonProcedure, button, message, wParam, lParam);
        const std::wstring after = currentFolder(dialog);
        if (after != before && !after.empty()) return result; // it only opened that folder
        folderChosen = true;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return result;
    }
    return CallWindowProcW(okButtonProcedure, button, message, wParam, lParam);
}

UINT_PTR CALLBACK folderHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
    HWND dialog = GetParent(child);
    if (message == WM_INITDIALOG) {
        for (int id : {cmb13, edt1, cmb1, stc2, stc3}) SendMessageW(dialog, CDM_HIDECONTROL, id, 0);
        SendMessageW(dialog, CDM_SETCONTROLTEXT, stc4, reinterpret_cast<LPARAM>(L"Look in"));
        SendMessageW(dialog, CDM_SETCONTROLTEXT, IDOK, reinterpret_cast<LPARAM>(L"Select"));
        SendMessageW(dialog, CDM_SETCONTROLTEXT, IDCANCEL, reinterpret_cast<LPARAM>(L"Cancel"));
        HWND ok = GetDlgItem(dialog, IDOK);
        okButtonProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(ok, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(okButton)));
        return 0;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == CDN_FOLDERCHANGE) {
        const std::wstring folder = currentFolder(dialog);
        lstrcpynW(selectedFolder, folder.c_str(), kFolderBuffer);
    }
    return 0;
}

// Disables the owner while a builder's dialog runs, then gives it back the front.
class OwnerDisabled {
public:
    explicit OwnerDisabled(void* owner) : owner_(static_cast<HWND>(owner)) {
        if (owner_) EnableWindow(owner_, FALSE);
    }
    ~OwnerDisabled() {
        if (!owner_) return;
        EnableWindow(owner_, TRUE);
        SetForegroundWindow(owner_);
    }
    OwnerDisabled(const OwnerDisabled&) = delete;
    OwnerDisabled& operator=(const OwnerDisabled&) = delete;

private:
    HWND owner_;
};

std::u16string runSingle(int32_t command, const std::u16string& title, const std::vector<FileTypeRecord>& types) {
    FileSelectorRequest request;
    request.command = command;
    request.fileTypeCount = static_cast<int32_t>(types.size());
    request.fileTypes = types.data();
    setRequestTitle(request, title);
    VFileSelector selector(nullptr);
    if (selector.run(request) < 1 || !request.returnedPath) return {};
    return request.returnedPath;
}

bool isExistingRegularFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(w(path.c_str()));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

} // namespace

VFileSelector::~VFileSelector() {
    if (!request_) return;
    if (request_->allocated && request_->returnedPath) {
        delete[] request_->returnedPath;
        request_->returnedPath = nullptr;
        request_->allocated = 0;
    }
    if (request_->returnedPaths) {
        for (int i = 0; i < request_->returnedPathCount; ++i) delete[] request_->returnedPaths[i];
        delete[] request_->returnedPaths;
        request_->returnedPaths = nullptr;
    }
}

int VFileSelector::run(FileSelectorRequest& request, const char* extraFilterUtf8) {
    request_ = &request;
    (void)context_;
    auto giveBack = [&](const wchar_t* path) {
        if (!request.returnedPath) {
            request.returnedPathSize = static_cast<intptr_t>(kFileBuffer);
            request.returnedPath = new char16_t[kFileBuffer]();
            request.allocated = 1;
        }
        lstrcpynW(w(request.returnedPath), path, static_cast<int>(request.returnedPathSize));
    };

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = static_cast<HWND>(request.owner);
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrTitle = request.title[0] ? w(request.title) : nullptr;
    dialog.lpstrInitialDir = w(request.initialFolder);
    dialog.lCustData = reinterpret_cast<LPARAM>(&request);
    std::u16string fileBuffer(request.command == kOpenFiles ? kMultipleFileBuffer : kFileBuffer, u'\0');
    dialog.lpstrFile = w(fileBuffer.data());
    dialog.nMaxFile = static_cast<DWORD>(fileBuffer.size());

    switch (request.command) {
    case kOpenFile:
    case kOpenFiles: {
        const FileFilter filter = openFilter(request.fileTypes, request.fileTypeCount, extraFilterUtf8 ? extraFilterUtf8 : "");
        dialog.lpstrFilter = w(filter.text.c_str());
        dialog.nFilterIndex = static_cast<DWORD>(filter.selected);
        dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        if (request.command == kOpenFiles) dialog.Flags |= OFN_ALLOWMULTISELECT;
        if (!GetOpenFileNameW(&dialog)) return 0;
        if (request.command == kOpenFile) {
            giveBack(w(fileBuffer.c_str()));
            return 1;
        }
        const std::vector<std::u16string> paths = splitMultipleSelection(fileBuffer.c_str());
        request.returnedPaths = new char16_t*[paths.size()];
        request.returnedPathCount = static_cast<int32_t>(paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            request.returnedPaths[i] = new char16_t[paths[i].size() + 1];
            std::memcpy(request.returnedPaths[i], paths[i].c_str(), (paths[i].size() + 1) * sizeof(char16_t));
        }
        return request.returnedPathCount;
    }
    case kSaveFile: {
        const FileFilter filter = saveFilter(request.fileTypes, request.fileTypeCount);
        dialog.lpstrFilter = w(filter.text.c_str());
        dialog.nFilterIndex = 1;
        dialog.lpstrDefExt = request.fileTypeCount > 0 ? w(request.fileTypes[0].extension) : nullptr;
        dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_ENABLEHOOK;
        dialog.lpfnHook = saveHook;
        if (!GetSaveFileNameW(&dialog)) return 0;
        giveBack(w(fileBuffer.c_str()));
        return 1;
    }
    case kSelectFolder: {
        static const wchar_t hideFiles[] = L"HideFileFilter\0*.___\0";
        dialog.lpstrFilter = hideFiles;
        dialog.nFilterIndex = 1;
        dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_ENABLEHOOK;
        dialog.lpfnHook = folderHook;
        selectedFolder[0] = L'\0';
        folderChosen = false;
        GetOpenFileNameW(&dialog);
        if (!folderChosen || !selectedFolder[0]) return 0;
        giveBack(selectedFolder);
        return 1;
    }
    default:
        logError("VFileSelector: unknown command ", request.command);
        return 0;
    }
}

std::u16string selectMidiFile(void* owner) {
    OwnerDisabled disabled(owner);
    return runSingle(kOpenFile, kSelectMidiTitle, midiFileTypes());
}

std::u16string selectRecordingFile(void* owner) {
    OwnerDisabled disabled(owner);
    for (;;) {
        const std::u16string path = runSingle(kSaveFile, kRecordAudioTitle, {wavFileType()});
        if (path.empty() || !isExistingRegularFile(path)) return path;
        const std::u16string question = overwriteQuestion(path);
        if (MessageBoxW(nullptr, w(question.c_str()), L"", MB_YESNO | MB_TASKMODAL | MB_SETFOREGROUND | MB_DEFBUTTON1) ==
            IDYES)
            return path;
    }
}

std::u16string selectFileWithExtension(void* owner, bool save, const std::u16string& title,
                                       const std::u16string& extension) {
    OwnerDisabled disabled(owner);
    return runSingle(save ? kSaveFile : kOpenFile, title, {oneExtensionFileType(extension)});
}

} // namespace vantor::VTR
