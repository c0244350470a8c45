#include "bridge/AppDataFolder.h"

#include <windows.h>
#include <shlobj.h>

namespace vantor {

std::u16string platformAppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::u16string folder(reinterpret_cast<const char16_t*>(path));
    if (folder.empty()) return {};
    return folder + u"\\Vantor\\Quorvel";
}

} // namespace vantor
