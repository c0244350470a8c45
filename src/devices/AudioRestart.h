// Reopening the audio stream when its driver asks: an ASIO driver's reset request, or a new buffer
// size or sample rate it reports. The audio library's ASIO host API ignores these, so the ASIO
// layer under it (asio/AsioLayer.h) hands them here.
//
// A request is posted on the driver's thread (lock-free, no allocation, no log line) and carried
// out on the main window's thread, where opcodes run: audio is stopped, the new buffer size or rate
// is taken over, and audio starts again, through the same opcodes the preferences dialog uses. The
// log says why. Requests that arrive while audio is stopped are dropped: the next start opens the
// driver afresh anyway.
#pragma once

namespace vantor {

enum class AudioRestartReason { Reset, BufferSize, SampleRate };

// Any thread. value: the new buffer size in frames, or the new rate in Hz; unused for a reset.
// Requests that come before the next service are carried out together.
void requestAudioRestart(AudioRestartReason reason, double value = 0.0);

// Main window's thread (its idle timer). True when the stream was reopened; a start that fails is
// reported as at start-up ("init: Audio Engine Start Error").
bool serviceAudioRestart();

} // namespace vantor
