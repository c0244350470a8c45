#include "midi/ProcessPriority.h"

#include <windows.h>

namespace vantor {

bool platformReadProcessPriorityClass(uint32_t& priorityClass) {
    const DWORD value = GetPriorityClass(GetCurrentProcess());
    if (value == 0) return false;
    priorityClass = static_cast<uint32_t>(value);
    return true;
}

bool platformWriteProcessPriorityClass(uint32_t priorityClass) {
    return SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(priorityClass)) != 0;
}

} // namespace vantor
