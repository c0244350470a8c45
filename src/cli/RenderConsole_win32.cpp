// QuorvelRender.exe: a console program; its arguments arrive as UTF-16 and become UTF-8, and the
// console shows the UTF-8 it prints.
#include "cli/RenderConsole.h"
#include "log/TextConv.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

namespace vantor {

namespace {
std::atomic<bool>* interruptFlag = nullptr;
std::atomic<bool> cleanedUp{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (!interruptFlag) return FALSE;
    interruptFlag->store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this returns (and after about 5 s anyway): give
        // the render the time to stop and remove its temporary file.
        for (int i = 0; i < 450 && !cleanedUp.load(); ++i)
            Sleep(10);
    }
    return TRUE;
}
} // namespace

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

unsigned long processId() {
    return GetCurrentProcessId();
}

void watchForInterrupt(std::atomic<bool>& flag) {
    interruptFlag = &flag;
    SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

void interruptHandled() {
    cleanedUp.store(true);
}

std::string pathIdentity(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
    if (ec) full = std::filesystem::absolute(path, ec);
    std::wstring text = full.lexically_normal().wstring();
    // File names on Windows are compared without regard to case.
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return wideToNarrow(std::u16string(text.begin(), text.end()));
}

} // namespace vantor

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(vantor::wideToNarrow(std::u16string(reinterpret_cast<const char16_t*>(argv[i]))));
    return vantor::renderMain(arguments);
}
