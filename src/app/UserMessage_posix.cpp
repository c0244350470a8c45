#include "app/UserMessage.h"

#include <cstdio>
#include <cstdlib>

namespace vantor {

void platformExitProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace vantor
