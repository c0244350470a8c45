// The user interface wired to the core as the application's entry point wires it (the main
// window as the editor's host, the message boxes), for one test; unwired again afterwards. For
// test programs that link the GUI layer.
#pragma once

#include "app/UserMessage.h"
#include "bridge/EditorHost.h"
#include "bridge/SMPLModule.h"
#include "ui/GuiComposition.h"
#include "ui/MainWindow.h"

namespace vantor::test {

class GuiScope {
public:
    GuiScope() { installGui(); }
    ~GuiScope() {
        setEditorHostFactory({});
        setMessageBoxPresenter({});
    }
    GuiScope(const GuiScope&) = delete;
    GuiScope& operator=(const GuiScope&) = delete;
};

// The main window that holds `module`'s editor, or null.
inline MainWindow* mainWindowOf(const SMPLModule& module) {
    return dynamic_cast<MainWindow*>(module.editorHost());
}

} // namespace vantor::test
