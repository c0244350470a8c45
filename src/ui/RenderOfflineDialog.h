// "Render Offline" (dialog template 116), modal over `owner`: the main window's Tools command.
#pragma once

#include "engineapi/EngineOpcodes.h"

namespace vantor {

// Returns when the dialog is closed; audio that played when it opened plays again.
void runRenderOfflineDialog(void* owner, EngineOpcodeFunction opcode);

} // namespace vantor
