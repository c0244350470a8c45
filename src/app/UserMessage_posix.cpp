#include "app/UserMessage.h"
#include "log/Log.h"

#include <cstdio>
#include <cstdlib>

namespace vantor {

// No desktop to show a box on: the text goes to the standard error stream and into the log.
void platformShowMessageBox(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    logInfo("message box \"", caption, "\": ", text);
}

void platformExitProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace vantor
