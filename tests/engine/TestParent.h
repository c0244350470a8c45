// A parent window for the editor: a real top-level window on Windows, a stand-in handle where
// the editor is headless.
#pragma once

namespace enginetest {

void* createTestParent();
void destroyTestParent(void* parent);
// Size of the editor's window and whether it is a visible child of `parent`; false when headless.
bool childWindowInfo(void* window, void* parent, int& width, int& height);

} // namespace enginetest
