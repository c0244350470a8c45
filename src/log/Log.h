// The host's diagnostic log: one process-wide stream, one line at a time.
//
// Every subsystem writes through logInfo / logWarning / logError. Arguments are streamed in order
// (numbers in decimal) into one message; the line is prefixed with the severity letter, processor
// tag, thread id and millisecond clock, written whole under one process-wide lock and flushed.
// Nothing is written while no ConsoleLogger is open. Never call these per block on the audio or
// offline thread: building the message allocates.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace vantor {

enum class LogSeverity : char { Info = 'I', Warning = 'W', Error = 'E' };

// Writes one complete line (prefix + message + newline) and flushes, if the log is open.
void logLine(LogSeverity severity, std::string_view message);

// True while a ConsoleLogger has the log stream open.
bool logIsOpen();

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
