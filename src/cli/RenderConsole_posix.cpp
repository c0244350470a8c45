#include "cli/RenderConsole.h"

#include <csignal>
#include <unistd.h>

namespace vantor {

namespace {
std::atomic<bool>* interruptFlag = nullptr;

void onInterrupt(int) {
    if (interruptFlag) interruptFlag->store(true);
}
} // namespace

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

unsigned long processId() {
    return static_cast<unsigned long>(getpid());
}

void watchForInterrupt(std::atomic<bool>& flag) {
    interruptFlag = &flag;
    struct sigaction action = {};
    action.sa_handler = &onInterrupt;
    sigemptyset(&action.sa_mask);
    // Once: a second Ctrl-C ends the program as usual.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void interruptHandled() {}

std::string pathIdentity(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
    return (ec ? std::filesystem::absolute(path, ec) : full).lexically_normal().string();
}

} // namespace vantor

int main(int argc, char** argv) {
    return vantor::renderMain(std::vector<std::string>(argv, argv + argc));
}
