// Recording failures found on the streamer or render thread wait here until the thread that runs
// the recording opcodes shows them to the user: message boxes never open on a real-time or disk
// thread.
#pragma once

#include <string>
#include <vector>

namespace vantor {

inline constexpr const char* kFileRecordingCaption = "File Recording";

void postRecordingError(const std::string& userText);
std::vector<std::string> takeRecordingErrors();

} // namespace vantor
