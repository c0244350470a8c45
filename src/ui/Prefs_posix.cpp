#include "ui/Prefs.h"

#include "log/Log.h"

namespace vantor {

void showPreferences(void* /*parent*/, EngineOpcodeFunction /*opcode*/) {
    logInfo("Preferences: the preferences dialog needs a desktop");
}

} // namespace vantor
