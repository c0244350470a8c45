// The host's diagnostic log: one process-wide stream, one line at a time.
//
// Every subsystem writes through logInfo / logWarning / logError. Arguments are streamed in order
// (numbers in decimal) into one message; the line is prefixed with the severity letter, processor
// tag, thread id and millisecond clock, written whole under one process-wide lock and flushed.
// Nothing is written while no ConsoleLogger is open. Never call these per block on the audio or
// offline thread: building the message allocates.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

namespace vantor {

enum class LogSeverity : char { Info = 'I', Warning = 'W', Error = 'E' };

// Writes one complete line (prefix + message + newline) and flushes, if the log is open.
void logLine(LogSeverity severity, std::string_view message);

// True while a ConsoleLogger has the log stream open.
bool logIsOpen();

// The line prefix "<sev>:0x<tag>:<tid>:<ms>:": tag in lower-case hex and thread id in decimal, each
// right-aligned in 4 columns (wider values take more), ms in decimal.
std::string formatLogPrefix(LogSeverity severity, uint32_t tag, uint32_t threadId, uint32_t ms);

// Bits 16..31 of EBX of CPUID leaf 1 on the calling thread's processor (APIC id and logical
// processor count); 0 where there is no CPUID.
uint32_t processorTag();

template <class... Args> std::string logConcat(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

template <class... Args> void logInfo(const Args&... args) {
    if (logIsOpen()) logLine(LogSeverity::Info, logConcat(args...));
}
template <class... Args> void logWarning(const Args&... args) {
    if (logIsOpen()) logLine(LogSeverity::Warning, logConcat(args...));
}
template <class... Args> void logError(const Args&... args) {
    if (logIsOpen()) logLine(LogSeverity::Error, logConcat(args...));
}

} // namespace vantor
