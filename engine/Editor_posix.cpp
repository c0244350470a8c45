// Without a GUI the editor is headless: "opening" it records the parent handle the host gives,
// and there is nothing to draw.
#include "Editor.h"

namespace brevian {

bool Editor::createWindow(void* parent) {
    window_ = parent; // stands for the panel: the editor counts as shown in that parent
    return true;
}

void Editor::destroyWindow() {
    window_ = nullptr;
}

void Editor::resizeWindow() {}

void Editor::invalidate() {}

} // namespace brevian
