// Internal to the log: how a ConsoleLogger hands its stream to the process-wide writer.
#pragma once

#include "log/Log.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace vantor::logdetail {

// Makes the stream the one every line goes to (the newest open stream wins).
void attachStream(std::FILE* file);
// Writes one line into this stream, if it is still attached.
void writeTo(std::FILE* file, LogSeverity severity, std::string_view message);
// Under the line lock: writes the lines, then "@" without a newline, flushes, closes and detaches
// the stream. Lines of other threads come before all of this or are dropped after it.
void closeStream(std::FILE* file, std::initializer_list<std::string_view> lastLines);

} // namespace vantor::logdetail
