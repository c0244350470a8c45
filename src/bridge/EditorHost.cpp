#include "bridge/EditorHost.h"

#include "log/Log.h"

#include <utility>

namespace vantor {

namespace {

EditorHostFactory& installedFactory() {
    static EditorHostFactory factory;
    return factory;
}

} // namespace

void setEditorHostFactory(EditorHostFactory factory) {
    installedFactory() = std::move(factory);
}

EditorHost* createEditorHost(SMPLModule& module, bool usesMediaBar) {
    if (!installedFactory()) {
        logWarning("no window to open the editor in: this host has no user interface");
        return nullptr;
    }
    return installedFactory()(module, usesMediaBar);
}

} // namespace vantor
