#include "ui/GuiComposition.h"

#include "app/UserMessage.h"
#include "bridge/EditorHost.h"
#include "toolkit/MessageBox.h"
#include "ui/MainWindow.h"

namespace vantor {

void installGui() {
    setEditorHostFactory([](SMPLModule& module, bool usesMediaBar) -> EditorHost* {
        return MainWindow::create(&module, usesMediaBar);
    });
    // Without a desktop (the headless build) the core's own fallback stays: standard error and
    // the log.
    if (VTR::hasNativeMessageBox()) setMessageBoxPresenter(&VTR::showNativeMessageBox);
}

} // namespace vantor
