// The host's own copy of the module instance handle (HINSTANCE), used for its dialogs, file
// selectors and icons. Set once at start-up, beside the toolkit's.
#pragma once

namespace vantor {

void setHostModuleInstance(void* instance);
void* hostModuleInstance();

} // namespace vantor
