#include "midi/ProcessPriority.h"

#include <cerrno>
#include <sys/resource.h>

namespace vantor {

bool platformReadProcessPriorityClass(uint32_t& priorityClass) {
    // -1 is a valid nice value, so errno tells failure apart.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    if (nice == -1 && errno != 0) return false;
    priorityClass = static_cast<uint32_t>(nice);
    return true;
}

bool platformWriteProcessPriorityClass(uint32_t priorityClass) {
    return setpriority(PRIO_PROCESS, 0, static_cast<int>(priorityClass)) == 0;
}

} // namespace vantor
