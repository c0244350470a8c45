#include "toolkit/MessageBox.h"

#include "log/TextConv.h"

#include <windows.h>

namespace vantor::VTR {

bool hasNativeMessageBox() {
    return true;
}

void showNativeMessageBox(const std::string& caption, const std::string& text) {
    const std::u16string wideCaption = narrowToWide(caption);
    const std::u16string wideText = narrowToWide(text);
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wideText.c_str()),
                reinterpret_cast<const wchar_t*>(wideCaption.c_str()), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

} // namespace vantor::VTR
