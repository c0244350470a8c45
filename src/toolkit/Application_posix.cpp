#include "toolkit/Application.h"

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

// There is no native window system here: no classes to register and no window to drive a loop.
bool Application::init() {
    return true;
}
bool Application::exit() {
    return true;
}
bool Application::run() {
    return true;
}

} // namespace vantor::VTR
