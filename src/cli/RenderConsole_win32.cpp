// QuorvelRender.exe: a console program; its arguments arrive as UTF-16 and become UTF-8, and the
// console shows the UTF-8 it prints.
#include "cli/RenderConsole.h"
#include "log/TextConv.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace vantor {

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

QuietStderr::QuietStderr() {
    std::fflush(stderr);
    saved_ = _dup(_fileno(stderr));
    const int null = _open("NUL", _O_WRONLY);
    if (saved_ >= 0 && null >= 0) _dup2(null, _fileno(stderr));
    if (null >= 0) _close(null);
}

QuietStderr::~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
        _dup2(saved_, _fileno(stderr));
        _close(saved_);
    }
}

} // namespace vantor

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(vantor::wideToNarrow(std::u16string(reinterpret_cast<const char16_t*>(argv[i]))));
    return vantor::renderMain(arguments);
}
