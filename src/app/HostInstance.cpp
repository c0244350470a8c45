#include "app/HostInstance.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<void*> hostInstance{nullptr};
}

void setHostModuleInstance(void* instance) {
    hostInstance.store(instance, std::memory_order_release);
}
void* hostModuleInstance() {
    return hostInstance.load(std::memory_order_acquire);
}

} // namespace vantor
