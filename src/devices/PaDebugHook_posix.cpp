// The native library exports its debug-print hook only in some builds (Debian's does not): bind
// weakly and report whether it is there.
#include "devices/DeviceManager.h"

extern "C" {
typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback) __attribute__((weak));
}

namespace vantor {

bool routeAudioLibraryDebugOutput(void (*print)(const char*)) {
    if (!PaUtil_SetDebugPrintFunction) return false;
    PaUtil_SetDebugPrintFunction(print);
    return true;
}

} // namespace vantor
