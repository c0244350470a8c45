#include "cli/RenderConsole.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vantor {

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

QuietStderr::QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
}

QuietStderr::~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
}

} // namespace vantor

int main(int argc, char** argv) {
    return vantor::renderMain(std::vector<std::string>(argv, argv + argc));
}
