// qwintool: drives the windows of another Wine/Windows process for the end-to-end tests.
//
//   qwintool list [--all]                       top-level windows (visible ones unless --all)
//   qwintool wait  [match] [--timeout MS]       wait for a window, print it and its child texts
//   qwintool click [match] [--timeout MS] [--id N]
//                                               wait, post WM_COMMAND N (default IDOK), wait until gone
//   qwintool close [match] [--timeout MS]       wait, post WM_CLOSE, wait until gone
//   match: --caption TEXT (exact) and/or --class NAME ("#32770" is the message box/dialog class)
//
// Output is UTF-8, one "key: value" per line, so shell tests can grep it. Exit status: 0 done,
// 1 no such window within the time-out (or it did not go away), 2 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// Text of a window of any process: WM_GETTEXT is marshalled across processes, GetWindowText is not.
std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    text.resize(copied);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Makes control characters visible so every record stays on one output line.
std::string oneLine(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        if (c == L'\n')
            out += L"\\n";
        else
            out += c;
    }
    return utf8(out);
}

struct Match {
    bool anyCaption = true;
    std::wstring caption;
    bool anyClass = true;
    std::wstring windowClass;
    bool all = false; // hidden windows too
};

struct Search {
    const Match* match;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    const Match& match = *search->match;
    if (!match.all && !IsWindowVisible(window)) return TRUE;
    if (!match.anyClass && className(window) != match.windowClass) return TRUE;
    if (!match.anyCaption && windowText(window) != match.caption) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> findWindows(const Match& match) {
    Search search{&match, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const Match& match, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = findWindows(match);
        if (!found.empty()) return found.front();
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

bool waitGone(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

void printWindow(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT rect = {};
    GetWindowRect(window, &rect);
    std::printf("window: 0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    std::printf("class: %s\n", utf8(className(window)).c_str());
    std::printf("caption: %s\n", oneLine(windowText(window)).c_str());
    std::printf("pid: %lu\n", static_cast<unsigned long>(process));
    std::printf("rect: %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
}

BOOL CALLBACK printChild(HWND child, LPARAM) {
    const std::wstring text = windowText(child);
    const int id = GetDlgCtrlID(child);
    std::printf("child: %s %d %s\n", utf8(className(child)).c_str(), id, oneLine(text).c_str());
    // A message box keeps its message in a static control: give it its own key.
    if (className(child) == L"Static" && !text.empty()) std::printf("text: %s\n", oneLine(text).c_str());
    return TRUE;
}

void printWindowAndChildren(HWND window) {
    printWindow(window);
    EnumChildWindows(window, printChild, 0);
    std::fflush(stdout);
}

int usage() {
    std::fprintf(stderr, "usage: qwintool list [--all] | wait|click|close [--caption TEXT] [--class NAME] "
                         "[--timeout MS] [--id N]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    const std::wstring command = argv[1];
    Match match;
    DWORD timeoutMs = 10000;
    WPARAM commandId = IDOK;
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--all") {
            match.all = true;
        } else if (option == L"--caption" && hasValue) {
            match.anyCaption = false;
            match.caption = argv[++i];
        } else if (option == L"--class" && hasValue) {
            match.anyClass = false;
            match.windowClass = argv[++i];
        } else if (option == L"--timeout" && hasValue) {
            timeoutMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (option == L"--id" && hasValue) {
            commandId = static_cast<WPARAM>(std::wcstoul(argv[++i], nullptr, 10));
        } else {
            return usage();
        }
    }

    if (command == L"list") {
        for (HWND window : findWindows(match)) {
            printWindow(window);
            std::printf("\n");
        }
        return 0;
    }
    if (command != L"wait" && command != L"click" && command != L"close") return usage();

    HWND window = waitForWindow(match, timeoutMs);
    if (!window) {
        std::printf("not found\n");
        return 1;
    }
    printWindowAndChildren(window);
    if (command == L"wait") return 0;

    if (command == L"click") {
        HWND button = GetDlgItem(window, static_cast<int>(commandId));
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (!waitGone(window, timeoutMs)) {
        std::printf("still open\n");
        return 1;
    }
    std::printf("closed\n");
    return 0;
}
