#include "TestParent.h"

namespace enginetest {

void* createTestParent() {
    static int standIn = 0;
    return &standIn;
}

void destroyTestParent(void*) {}

bool childWindowInfo(void*, void*, int&, int&) {
    return false;
}

} // namespace enginetest
