// Strict UTF-8 <-> UTF-16 codec into caller-provided buffers. Invalid input (bad or truncated
// sequences, overlong forms, encoded or unpaired surrogates, values above U+10FFFF) and a full
// buffer both fail; nothing is replaced silently.
#pragma once

#include <cstddef>

namespace vantor::utf {

// On success `written` is the number of units stored (no terminator is added).
bool utf16ToUtf8(const char16_t* in, size_t length, char* out, size_t capacity, size_t& written);
bool utf8ToUtf16(const char* in, size_t length, char16_t* out, size_t capacity, size_t& written);

} // namespace vantor::utf
