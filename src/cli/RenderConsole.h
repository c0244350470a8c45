// The renderer's few platform-specific pieces: its entry point (arguments as UTF-8), whether the
// standard error is a terminal, and silencing the standard error while the audio library probes.
#pragma once

#include <string>
#include <vector>

namespace vantor {

// The program itself, on UTF-8 arguments (argument 0 is the program).
int renderMain(const std::vector<std::string>& arguments);

bool stderrIsTerminal();

// The audio library's back ends print their probing of absent sound systems straight to the
// standard error; none of it concerns an offline render.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

} // namespace vantor
