// qwintool: drives the windows of another Wine/Windows process for the end-to-end tests.
//
//   qwintool list [--all]                       top-level windows (visible ones unless --all)
//   qwintool wait  [match] [--timeout MS]       wait for a window, print it and its child texts
//   qwintool click [match] [--timeout MS] [--id N]
//                                               wait, post WM_COMMAND N (default IDOK), wait until gone
//   qwintool close [match] [--timeout MS]       wait, post WM_CLOSE, wait until gone
//   qwintool controls [match] [--timeout MS]    the window's client size and every descendant:
//                                               "control: CLASS ID X Y W H enabled|disabled TEXT"
//                                               (X, Y in its parent's client area)
//   qwintool menu [match] [--timeout MS]        the menu bar: "popup: TITLE", "item: ID TEXT" (a
//                                               window of this process only: Wine keeps menus per
//                                               process, another's prints "menus: -1")
//   qwintool keys [match] --text K1,K2,...      posts keys to the window's thread as a keyboard
//                                               would: "menu" (the menu bar, as F10), "down", "up",
//                                               "left", "right", "return", "escape"
//   qwintool command [match] --id N             post WM_COMMAND N (a menu command) and return
//   qwintool press [match] --id N               click the descendant button with id N (its
//                                               BN_CLICKED to its parent; exit 1 when disabled)
//   qwintool slide [match] --id N --value V     move the trackbar with id N to V as a user would
//                                               (TBM_SETPOS, then WM_HSCROLL to its parent)
//   qwintool value [match] --id N               print "value: POS" of the trackbar with id N
//   qwintool settext [match] --id N --text T    WM_SETTEXT T to the descendant with id N
//   qwintool items [match] --id N               the drop-down list with id N: "item: INDEX TEXT"
//                                               per entry, then "selected: INDEX"
//   qwintool select [match] --id N --value I    choose entry I of the drop-down list with id N as a
//                                               user would (CB_SETCURSEL, then CBN_SELCHANGE to
//                                               its parent, which is waited for)
//   match: --caption TEXT (exact) and/or --class NAME ("#32770" is the message box/dialog class)
//
// Output is UTF-8, one "key: value" per line, so shell tests can grep it. Exit status: 0 done,
// 1 no such window within the time-out (or it did not go away), 2 usage.
#include <windows.h>
#include <commctrl.h>

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

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK findChild(HWND child, LPARAM parameter) {
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    if (GetDlgCtrlID(child) != search->id) return TRUE;
    search->found = child;
    return FALSE;
}

// The first descendant with this control id (EnumChildWindows walks the whole tree).
HWND descendant(HWND window, int id) {
    ChildSearch search{id, nullptr};
    EnumChildWindows(window, findChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK printControl(HWND child, LPARAM) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    std::printf("control: %s %d %ld %ld %ld %ld %s %s\n", utf8(className(child)).c_str(), GetDlgCtrlID(child),
                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                IsWindowEnabled(child) ? "enabled" : "disabled", oneLine(windowText(child)).c_str());
    return TRUE;
}

void printMenu(HWND window) {
    HMENU bar = GetMenu(window);
    if (!bar) {
        std::printf("menus: none\n");
        return;
    }
    const int count = GetMenuItemCount(bar);
    std::printf("menus: %d\n", count);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(bar, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        std::printf("popup: %s\n", utf8(text).c_str());
        HMENU popup = GetSubMenu(bar, i);
        const int items = popup ? GetMenuItemCount(popup) : 0;
        for (int j = 0; j < items; ++j) {
            wchar_t item[256] = {};
            GetMenuStringW(popup, static_cast<UINT>(j), item, 256, MF_BYPOSITION);
            std::printf("item: %u %s\n", GetMenuItemID(popup, j), utf8(item).c_str());
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: qwintool list [--all] | wait|click|close|controls|menu|command|press|slide|value|"
                         "settext|items|select [--caption TEXT] [--class NAME] [--timeout MS] [--id N] [--value V] [--text T]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    const std::wstring command = argv[1];
    Match match;
    DWORD timeoutMs = 10000;
    WPARAM commandId = IDOK;
    int value = 0;
    std::wstring text;
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
        } else if (option == L"--value" && hasValue) {
            value = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (option == L"--text" && hasValue) {
            text = argv[++i];
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
    if (command == L"keys") {
        HWND window = waitForWindow(match, timeoutMs);
        if (!window) {
            std::printf("not found\n");
            return 1;
        }
        size_t at = 0;
        while (at <= text.size()) {
            size_t end = text.find(L',', at);
            if (end == std::wstring::npos) end = text.size();
            const std::wstring key = text.substr(at, end - at);
            at = end + 1;
            if (key == L"menu") {
                PostMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
                continue;
            }
            const WPARAM vk = key == L"down" ? VK_DOWN
                              : key == L"up" ? VK_UP
                              : key == L"left" ? VK_LEFT
                              : key == L"right" ? VK_RIGHT
                              : key == L"return" ? VK_RETURN
                              : key == L"escape" ? VK_ESCAPE
                                                 : 0;
            if (!vk) return usage();
            PostMessageW(window, WM_KEYDOWN, vk, 1);
            PostMessageW(window, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
            // The menu's own loop reads them in order; a pause lets a popup open between keys.
            Sleep(150);
        }
        return 0;
    }
    const bool onControl = command == L"press" || command == L"slide" || command == L"value" || command == L"settext" ||
                           command == L"items" || command == L"select";
    if (command == L"controls" || command == L"menu" || command == L"command" || onControl) {
        HWND window = waitForWindow(match, timeoutMs);
        if (!window) {
            std::printf("not found\n");
            return 1;
        }
        if (command == L"controls") {
            RECT client = {};
            GetClientRect(window, &client);
            printWindow(window);
            std::printf("client: %ld %ld\n", client.right, client.bottom);
            EnumChildWindows(window, printControl, 0);
        } else if (command == L"menu") {
            printMenu(window);
        } else if (command == L"command") {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
        } else {
            HWND control = descendant(window, static_cast<int>(commandId));
            if (!control) {
                std::printf("no control %u\n", static_cast<unsigned>(commandId));
                return 1;
            }
            if (command == L"press") {
                // What a click makes the button tell its parent. A disabled button takes no click.
                if (!IsWindowEnabled(control)) {
                    std::printf("disabled\n");
                    return 1;
                }
                PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED),
                             reinterpret_cast<LPARAM>(control));
            } else if (command == L"slide") {
                SendMessageW(control, TBM_SETPOS, TRUE, value);
                PostMessageW(GetParent(control), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, value),
                             reinterpret_cast<LPARAM>(control));
            } else if (command == L"items") {
                DWORD_PTR count = 0, selected = 0;
                SendMessageTimeoutW(control, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
                for (int i = 0; i < static_cast<int>(count); ++i) {
                    wchar_t item[256] = {};
                    DWORD_PTR ignored = 0;
                    SendMessageTimeoutW(control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item),
                                        SMTO_ABORTIFHUNG, 2000, &ignored);
                    std::printf("item: %d %s\n", i, utf8(item).c_str());
                }
                SendMessageTimeoutW(control, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &selected);
                std::printf("selected: %d\n", static_cast<int>(static_cast<LRESULT>(selected)));
            } else if (command == L"select") {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(control, CB_SETCURSEL, static_cast<WPARAM>(value), 0, SMTO_ABORTIFHUNG, 2000,
                                    &ignored);
                // Sent, not posted: the handler's opcodes have run when this returns.
                SendMessageTimeoutW(GetParent(control), WM_COMMAND,
                                    MAKEWPARAM(static_cast<WORD>(commandId), CBN_SELCHANGE),
                                    reinterpret_cast<LPARAM>(control), SMTO_ABORTIFHUNG, 30000, &ignored);
            } else if (command == L"value") {
                DWORD_PTR position = 0;
                SendMessageTimeoutW(control, TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
                std::printf("value: %d\n", static_cast<int>(position));
            } else {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                    2000, &ignored);
            }
        }
        std::fflush(stdout);
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
