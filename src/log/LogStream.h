// Internal to the log: how a ConsoleLogger hands its stream to the process-wide writer.
#pragma once

#include "log/Log.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace vantor::logdetail {

// Under the line lock: writes the first lines, then makes the stream the one every line goes to
// (the newest open stream wins), so no other thread's line comes before the opening lines.
void attachStream(std::FILE* file, std::initializer_list<std::string_view> firstLines);
// Under the line lock: writes the lines, then "@" without a newline, flushes, closes and detaches
// the stream. Lines of other threads come before all of this or are dropped after it.
void closeStream(std::FILE* file, std::initializer_list<std::string_view> lastLines);

} // namespace vantor::logdetail
