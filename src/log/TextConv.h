// Conversions between UTF-16 (platform calls, registry) and narrow text (UTF-8 everywhere else).
// Code page selector: 5 UTF-7, 11/12 system ANSI, 13 OEM, anything else UTF-8. The host passes 0.
// Failures give the marker texts "VTRSConv_ERROR1".."VTRSConv_ERROR4" instead of throwing.
#pragma once

#include <string>

namespace vantor {

std::string wideToNarrow(const std::u16string& text, int codePage = 0);
std::u16string narrowToWide(const std::string& text, int codePage = 0);
std::u16string narrowToWide(const char* text, int codePage = 0); // null gives an empty string

} // namespace vantor
