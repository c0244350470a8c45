#include "recording/FileIO.h"

#include <mutex>

namespace vantor {

namespace {
std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}
OutputFileOpener& hook() {
    static OutputFileOpener h;
    return h;
}
} // namespace

std::unique_ptr<OutputFile> openOutputFile(const std::string& utf8Path, OpenMode mode, bool* alreadyExists) {
    if (alreadyExists) *alreadyExists = false;
    OutputFileOpener opener;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        opener = hook();
    }
    if (opener) return opener(utf8Path, mode, alreadyExists);
    return openPlatformOutputFile(utf8Path, mode, alreadyExists);
}

void setOutputFileOpenHook(OutputFileOpener h) {
    std::lock_guard<std::mutex> lock(hookMutex());
    hook() = std::move(h);
}

} // namespace vantor
