// Internal to ThreadDetached: applies a system thread priority (-2 lowest .. +2 highest) to the
// calling thread. False only when the platform refused a priority it should have allowed.
#pragma once

namespace vantor {

bool applyCurrentThreadPriority(int systemPriority);

} // namespace vantor
