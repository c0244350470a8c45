// The renderer's few platform-specific pieces: its entry point (arguments as UTF-8), whether the
// standard error is a terminal, Ctrl-C, and how paths are compared.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace vantor {

// The program itself, on UTF-8 arguments (argument 0 is the program).
int renderMain(const std::vector<std::string>& arguments);

bool stderrIsTerminal();
unsigned long processId();

// From here on Ctrl-C (SIGINT, SIGTERM; on Windows Ctrl-C, Ctrl-Break and closing the console)
// sets `flag` instead of ending the process; a second SIGINT or SIGTERM ends it at once.
void watchForInterrupt(std::atomic<bool>& flag);
// The program has cleaned up after an interrupt: a console being closed may end it now.
void interruptHandled();

// A text that is the same for two paths that name the same file (on Windows regardless of case).
std::string pathIdentity(const std::filesystem::path& path);

} // namespace vantor
