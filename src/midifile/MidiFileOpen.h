// Opens a file for binary reading by its UTF-16 path (Windows: _wfopen; POSIX: back to UTF-8).
#pragma once

#include <cstdio>
#include <string>

namespace vantor {

std::FILE* openFileForReading(const std::u16string& path);

} // namespace vantor
