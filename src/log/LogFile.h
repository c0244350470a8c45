// The few file and time calls the log needs, per platform. Paths are UTF-16.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace vantor::logfile {

// Truncating open for writing lines, shared for reading and writing by other processes
// (Windows: text mode, so lines end in CRLF). Null on failure.
std::FILE* openForLog(const std::u16string& path);
// Binary open for reading, shared. Null on failure.
std::FILE* openForReading(const std::u16string& path);
// Binary truncating open for writing. Null on failure.
std::FILE* openForCopy(const std::u16string& path);
// Current local time, thread-safe. False if the platform call failed.
bool localTimeNow(std::tm& out);

} // namespace vantor::logfile
