// What the host learns from the ASIO layer under the audio library (AsioLayer_win32.cpp): its log
// lines (drivers skipped at enumeration, drivers that cannot be created) and the driver's requests
// that concern the stream (a reset, a new buffer size or sample rate), which the library's ASIO
// host API itself ignores.
#pragma once

namespace vantor::asio {

enum class DriverEvent {
    ResetRequest,     // value unused
    BufferSizeChange, // value: the new buffer size in frames
    SampleRateChange, // value: the new rate in Hz
};

// severity: 'I', 'W' or 'E'. Called on the thread that called into the audio library.
using LogHook = void (*)(char severity, const char* text);
// Called on the driver's own thread: must not block or call back into the audio library.
using EventHook = void (*)(DriverEvent event, double value);

// Either may be null. Install before the audio library is initialised to see its enumeration.
void setHooks(LogHook log, EventHook event);

} // namespace vantor::asio
