#include "app/UserMessage.h"

#include <windows.h>

namespace vantor {

void platformExitProcess(int status) {
    ExitProcess(static_cast<UINT>(status));
}

} // namespace vantor
