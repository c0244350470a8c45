// Which installed ASIO drivers are never loaded. Some drivers are shells over other drivers or
// fail when a host opens every driver at start-up, as the audio library's ASIO host API does: a
// fixed set is always left out, and the user can name more in "asioblacklist.txt" beside the
// executable, one name a line.
//
// Portable (the Windows driver enumeration in AsioLayer_win32.cpp uses it); no ASIO header needed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantor::asio {

inline constexpr const char* kExclusionFileName = "asioblacklist.txt";

// The names of the file's lines: UTF-8, a leading byte order mark ignored, white space and a
// carriage return around each name trimmed, empty lines skipped.
std::vector<std::string> parseExclusionList(std::string_view text);

enum class Exclusion {
    None,
    Listed, // named in the exclusion file
    Fixed,  // one of the names or name prefixes that are always left out
};

// Names compare without regard to ASCII case: the registry, where drivers are installed, does not
// tell case apart either.
Exclusion exclusionOf(std::string_view driverName, const std::vector<std::string>& listed);

} // namespace vantor::asio
