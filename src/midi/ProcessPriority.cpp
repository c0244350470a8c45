#include "midi/ProcessPriority.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<const ProcessPriorityOps*> overrideOps{nullptr};
} // namespace

void setProcessPriorityOps(const ProcessPriorityOps* ops) {
    overrideOps.store(ops, std::memory_order_release);
}

bool readProcessPriorityClass(uint32_t& priorityClass) {
    const ProcessPriorityOps* ops = overrideOps.load(std::memory_order_acquire);
    if (ops && ops->read) return ops->read(priorityClass);
    return platformReadProcessPriorityClass(priorityClass);
}

bool writeProcessPriorityClass(uint32_t priorityClass) {
    const ProcessPriorityOps* ops = overrideOps.load(std::memory_order_acquire);
    if (ops && ops->write) return ops->write(priorityClass);
    return platformWriteProcessPriorityClass(priorityClass);
}

} // namespace vantor
