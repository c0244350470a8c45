#include "ui/RenderOfflineDialog.h"

#include "log/Log.h"

namespace vantor {

// The headless build has no dialog templates to show.
void runRenderOfflineDialog(void*, EngineOpcodeFunction, RenderFileChoosers) {
    logInfo("Render offline: no dialog without a desktop");
}

} // namespace vantor
