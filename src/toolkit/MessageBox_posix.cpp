#include "toolkit/MessageBox.h"

namespace vantor::VTR {

bool hasNativeMessageBox() {
    return false;
}

void showNativeMessageBox(const std::string&, const std::string&) {}

} // namespace vantor::VTR
