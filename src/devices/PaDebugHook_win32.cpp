// The static Windows build of the library always carries its debug-print hook.
#include "devices/DeviceManager.h"

extern "C" {
typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback);
}

namespace vantor {

bool routeAudioLibraryDebugOutput(void (*print)(const char*)) {
    PaUtil_SetDebugPrintFunction(print);
    return true;
}

} // namespace vantor
