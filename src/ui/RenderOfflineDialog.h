// "Render Offline" (dialog template 116), modal over `owner`: the main window's Tools command.
#pragma once

#include "engineapi/EngineOpcodes.h"

#include <functional>
#include <string>

namespace vantor {

// The dialog's two file selectors (owner window in, path out, empty when cancelled); tests hand
// in their own. Empty: the system's file dialogs.
struct RenderFileChoosers {
    std::function<std::u16string(void* owner)> midi;
    std::function<std::u16string(void* owner)> output;
};

// Returns when the dialog is closed; audio that played when it opened plays again.
void runRenderOfflineDialog(void* owner, EngineOpcodeFunction opcode, RenderFileChoosers choosers = {});

} // namespace vantor
