// Conversions between UTF-16 (platform calls, registry) and narrow text (UTF-8 everywhere else).
// Code page selector: 5 UTF-7, 11/12 system ANSI, 13 OEM, anything else UTF-8. The host passes 0.
// Failures give the marker texts "VTRSConv_ERROR1".."VTRSConv_ERROR4" instead of throwing.
#pragma once

#include <string>

namespace vantor {

std::string wideToNarrow(const std::u16string& text, int codePage = 0);
std::u16string narrowToWide(const std::string& text, int codePage = 0);
std::u16string narrowToWide(const char* text, int codePage = 0); // null gives an empty string

// The same conversions for text that becomes a file operation (paths): false when the text is
// not valid in the code page, and then `out` is left empty. The markers above are for log text
// only; a path that does not convert must fail its operation as a file that cannot be opened.
// Like the conversions above, the text ends at its first NUL.
bool tryNarrowToWide(const std::string& text, std::u16string& out, int codePage = 0);
bool tryWideToNarrow(const std::u16string& text, std::string& out, int codePage = 0);

} // namespace vantor
