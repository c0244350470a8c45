// Windows side of the engine module: DLLs and the executable's folder.
#include "bridge/SMPLModule.h"
#include "log/TextConv.h"

#include <windows.h>

#include <string>

namespace vantor {

void* SMPLModule::loadLibrary(const std::u16string& path) {
    std::wstring wide(path.begin(), path.end());
    return reinterpret_cast<void*>(LoadLibraryW(wide.c_str()));
}

void* SMPLModule::resolve(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void SMPLModule::unloadLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

char SMPLModule::pathSeparator() {
    return '\\';
}

bool SMPLModule::replaceFile(const std::u16string& from, const std::u16string& to, std::string& reason) {
    const std::wstring source(from.begin(), from.end()), target(to.begin(), to.end());
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD code = GetLastError();
    reason = code == ERROR_ACCESS_DENIED ? "access denied" : "system error " + std::to_string(code);
    return false;
}

std::string SMPLModule::executableFolder() {
    wchar_t path[32768] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    std::u16string wide(reinterpret_cast<const char16_t*>(path), length);
    std::string text = wideToNarrow(wide);
    size_t cut = text.rfind('\\');
    if (cut == std::string::npos) cut = text.rfind('/');
    return cut == std::string::npos ? std::string(".") : text.substr(0, cut);
}

} // namespace vantor
