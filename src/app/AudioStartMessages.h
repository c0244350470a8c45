// The box shown when audio does not start: at start-up, and when the preferences dialog closes
// and cannot start it again.
#pragma once

namespace vantor {

inline constexpr const char* kAudioStartErrorCaption = "init: Audio Engine Start Error";
inline constexpr const char* kAudioStartErrorText =
    "Check Preferences. Maybe the current driver doesn't support this sample rate";

} // namespace vantor
