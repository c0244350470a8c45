// The few operating-system services the engine needs, one implementation per platform
// (Platform_win32.cpp, Platform_posix.cpp): reading small files by UTF-8 path and finding the
// host's exported entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brevian {

// The host's engineOpcode, as the engine calls it.
using HostEntry = int32_t (*)(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3,
                              float f);

// engineOpcode exported by the process that loaded the engine, or null (the engine loaded by a
// test or another program without it).
HostEntry findHostEntry();

// Reads a whole regular file of at most `limit` bytes. False when it is missing, unreadable or
// larger than the limit. On POSIX a path whose last separator is a backslash (a host joining
// with Windows separators) is also tried with a slash there.
bool readSmallFile(const std::string& utf8Path, std::size_t limit, std::vector<uint8_t>& out);

// The separator the platform joins folder and file names with.
char pathSeparator();

std::string joinPath(const std::string& folder, const std::string& name);

} // namespace brevian
