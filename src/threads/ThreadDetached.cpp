#include "threads/ThreadDetached.h"
#include "log/Log.h"
#include "threads/ThreadPriority.h"

namespace vantor {

ThreadDetached::ThreadDetached(bool flag) : flag_(flag) {
    (void)flag_;
}

int ThreadDetached::systemPriorityFor(uint32_t priority) {
    if (priority <= 20) return -2;
    if (priority <= 40) return -1;
    if (priority <= 60) return 0;
    if (priority <= 80) return 1;
    if (priority <= 100) return 2;
    return 0;
}

void ThreadDetached::run(ThreadDetached* self) {
    if (!applyCurrentThreadPriority(systemPriorityFor(self->priority_))) logError("SetThreadPriority failed");
    self->Entry();
    self->onExit();
    delete self;
}

} // namespace vantor
