// The static Windows build of the library always carries its debug-print hook. The ASIO layer under
// it (asio/AsioLayer.h) reports here too: its lines go to the log, its drivers' stream requests to
// the audio restart.
#include "asio/AsioLayer.h"
#include "devices/AudioRestart.h"
#include "devices/DeviceManager.h"
#include "log/Log.h"

extern "C" {
typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback);
}

namespace vantor {

namespace {

void asioLine(char severity, const char* text) {
    if (severity == 'E')
        logError(text);
    else if (severity == 'W')
        logWarning(text);
    else
        logInfo(text);
}

void asioDriverEvent(asio::DriverEvent event, double value) {
    switch (event) {
    case asio::DriverEvent::ResetRequest:
        requestAudioRestart(AudioRestartReason::Reset);
        break;
    case asio::DriverEvent::BufferSizeChange:
        requestAudioRestart(AudioRestartReason::BufferSize, value);
        break;
    case asio::DriverEvent::SampleRateChange:
        requestAudioRestart(AudioRestartReason::SampleRate, value);
        break;
    }
}

} // namespace

bool routeAudioLibraryDebugOutput(void (*print)(const char*)) {
    PaUtil_SetDebugPrintFunction(print);
    asio::setHooks(&asioLine, &asioDriverEvent);
    return true;
}

} // namespace vantor
