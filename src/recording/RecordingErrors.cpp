#include "recording/RecordingErrors.h"

#include <mutex>

namespace vantor {

namespace {
std::mutex g_mutex;
std::vector<std::string> g_pending;
} // namespace

void postRecordingError(const std::string& userText) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pending.push_back(userText);
}

std::vector<std::string> takeRecordingErrors() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_pending);
    return out;
}

} // namespace vantor
