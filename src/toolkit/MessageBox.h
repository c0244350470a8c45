// The user-facing message box: task-modal, no owner window, brought to the foreground, an OK
// button. Texts are UTF-8.
#pragma once

#include <string>

namespace vantor::VTR {

// False where there is no desktop to show a box on (the headless build).
bool hasNativeMessageBox();
void showNativeMessageBox(const std::string& caption, const std::string& text);

} // namespace vantor::VTR
