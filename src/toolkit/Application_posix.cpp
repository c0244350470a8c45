#include "toolkit/Application.h"
#include "toolkit/Window.h"

#include <atomic>

namespace vantor::VTR {

namespace {
std::atomic<void*> instanceHandle{nullptr};
}

void setModuleInstance(void* instance) {
    instanceHandle.store(instance, std::memory_order_release);
}
void* moduleInstance() {
    return instanceHandle.load(std::memory_order_acquire);
}

// There is no native window system here: no classes to register, and no user to close the
// windows, so the loop ends as a user closing them would end it.
bool Application::init() {
    return true;
}
bool Application::exit() {
    return true;
}
bool Application::run() {
    destroyHeadlessWindows();
    return true;
}

} // namespace vantor::VTR
