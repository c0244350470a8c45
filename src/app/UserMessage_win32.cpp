#include "app/UserMessage.h"
#include "log/TextConv.h"

#include <windows.h>

namespace vantor {

void platformShowMessageBox(const std::string& caption, const std::string& text) {
    std::u16string wideCaption = narrowToWide(caption);
    std::u16string wideText = narrowToWide(text);
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wideText.c_str()),
                reinterpret_cast<const wchar_t*>(wideCaption.c_str()),
                MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

void platformExitProcess(int status) {
    ExitProcess(static_cast<UINT>(status));
}

} // namespace vantor
