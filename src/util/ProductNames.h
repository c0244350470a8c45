// The names the host's message boxes carry: its own errors (a failed save, start-up problems) are
// captioned with the product name; installation errors (the engine missing or refused) with the
// full title, as the main window is.
#pragma once

namespace vantor {

inline constexpr const char* kProductName = "Quorvel";
inline constexpr const char* kFullTitle = "Vantor Quorvel";

} // namespace vantor
