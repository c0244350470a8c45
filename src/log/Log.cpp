// Process-wide log stream: one lock around every line, and the same lock around opening and
// closing, so no line can land in a closed stream or after a logger's closing "@".
#include "log/Log.h"
#include "log/LogStream.h"
#include "threads/Clock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace vantor {

namespace {

// Constant-initialised, so lines logged during static construction or destruction still work.
std::mutex g_lineLock;
std::atomic<bool> g_open{false};

// Open streams, newest last; lines go to the newest. Guarded by g_lineLock. Never freed, so a
// logger destroyed during static destruction still finds it.
std::vector<std::FILE*>& openStreams() {
    static std::vector<std::FILE*>* streams = new std::vector<std::FILE*>();
    return *streams;
}

size_t formatPrefix(char* out, size_t size, LogSeverity severity, uint32_t tag, uint32_t threadId,
                    uint32_t ms) {
    int n = std::snprintf(out, size, "%c:0x%4x:%4u:%u:", static_cast<char>(severity), tag, threadId, ms);
    if (n < 0) return 0;
    return std::min(static_cast<size_t>(n), size - 1);
}

struct Prefix {
    char text[64];
    size_t size;
};

// Built before taking the lock: CPUID and the clock calls are slow under virtualisation.
Prefix currentPrefix(LogSeverity severity) {
    Prefix p;
    p.size =
        formatPrefix(p.text, sizeof p.text, severity, processorTag(), currentThreadId(), multimediaMillis());
    return p;
}

// Caller holds g_lineLock.
void writeLocked(std::FILE* file, const Prefix& prefix, std::string_view message) {
    std::fwrite(prefix.text, 1, prefix.size, file);
    if (!message.empty()) std::fwrite(message.data(), 1, message.size(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

} // namespace

uint32_t processorTag() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) return (b >> 16) & 0xffffu;
#endif
    return 0;
}

std::string formatLogPrefix(LogSeverity severity, uint32_t tag, uint32_t threadId, uint32_t ms) {
    char prefix[64];
    size_t n = formatPrefix(prefix, sizeof prefix, severity, tag, threadId, ms);
    return std::string(prefix, n);
}

void logLine(LogSeverity severity, std::string_view message) {
    const Prefix prefix = currentPrefix(severity);
    std::lock_guard<std::mutex> lock(g_lineLock);
    auto& streams = openStreams();
    if (streams.empty()) return;
    writeLocked(streams.back(), prefix, message);
}

bool logIsOpen() {
    return g_open.load(std::memory_order_relaxed);
}

namespace logdetail {

void attachStream(std::FILE* file, std::initializer_list<std::string_view> firstLines) {
    const Prefix prefix = currentPrefix(LogSeverity::Info);
    std::lock_guard<std::mutex> lock(g_lineLock);
    for (std::string_view line : firstLines)
        writeLocked(file, prefix, line);
    openStreams().push_back(file);
    g_open.store(true, std::memory_order_relaxed);
}

void closeStream(std::FILE* file, std::initializer_list<std::string_view> lastLines) {
    const Prefix prefix = currentPrefix(LogSeverity::Info);
    std::lock_guard<std::mutex> lock(g_lineLock);
    auto& streams = openStreams();
    auto it = std::find(streams.begin(), streams.end(), file);
    if (it == streams.end()) return;
    for (std::string_view line : lastLines)
        writeLocked(file, prefix, line);
    std::fputc('@', file);
    std::fflush(file);
    std::fclose(file);
    streams.erase(it);
    g_open.store(!streams.empty(), std::memory_order_relaxed);
}

} // namespace logdetail

} // namespace vantor
