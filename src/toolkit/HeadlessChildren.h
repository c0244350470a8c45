// The headless toolkit's parent-child bookkeeping (NativeControl_posix.cpp): a control made on a
// parent goes when the parent is deleted.
#pragma once

namespace vantor::VTR {

class NativeBaseObject;

void headlessAdopt(void* parent, NativeBaseObject* child);
void headlessForget(NativeBaseObject* child);
// Deletes the children of `parent`, the last made first.
void headlessDestroyChildren(void* parent);

} // namespace vantor::VTR
