// The process-wide scheduling class, read and restored around opening a MIDI port: some MIDI
// drivers raise the whole process's priority class while a port is open, and the host undoes it.
//
// Windows: GetPriorityClass / SetPriorityClass on the current process. POSIX: the process's nice
// value (getpriority / setpriority with PRIO_PROCESS) stands in for the class, stored as its
// two's-complement bits; putting back a lower nice value than the current one may need privileges
// the process lacks, in which case the write reports failure.
#pragma once

#include <cstdint>

namespace vantor {

bool readProcessPriorityClass(uint32_t& priorityClass);
bool writeProcessPriorityClass(uint32_t priorityClass);

// Replaces both operations (tests); null restores the platform's.
struct ProcessPriorityOps {
    bool (*read)(uint32_t& priorityClass) = nullptr;
    bool (*write)(uint32_t priorityClass) = nullptr;
};
void setProcessPriorityOps(const ProcessPriorityOps* ops);

// The platform's own operations (the seam files).
bool platformReadProcessPriorityClass(uint32_t& priorityClass);
bool platformWriteProcessPriorityClass(uint32_t priorityClass);

} // namespace vantor
