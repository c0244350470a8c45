#include "Platform.h"

#include <windows.h>

namespace brevian {

HostEntry findHostEntry() {
    HMODULE self = GetModuleHandleW(nullptr);
    if (self == nullptr) return nullptr;
    return reinterpret_cast<HostEntry>(reinterpret_cast<void*>(GetProcAddress(self, "engineOpcode")));
}

static std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

bool readSmallFile(const std::string& utf8Path, std::size_t limit, std::vector<uint8_t>& out) {
    const std::wstring path = widen(utf8Path);
    if (path.empty()) return false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
              static_cast<uint64_t>(size.QuadPart) <= limit;
    std::vector<uint8_t> data;
    if (ok) {
        data.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (!data.empty())
            ok = ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr) &&
                 got == data.size();
    }
    CloseHandle(h);
    if (!ok) return false;
    out = std::move(data);
    return true;
}

char pathSeparator() {
    return '\\';
}

} // namespace brevian
