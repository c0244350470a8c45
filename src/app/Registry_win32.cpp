#include "app/Registry.h"

#include <windows.h>

namespace vantor {

namespace {

// A 32-bit build running under WOW64 on NT 5.1 or later must ask for the 64-bit view to see the
// installer's keys; decided once per process.
REGSAM extraAccess() {
    static const REGSAM extra = [] {
        using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto isWow64Process = kernel ? reinterpret_cast<IsWow64ProcessFunction>(
                                           reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                                     : nullptr;
        BOOL wow64 = FALSE;
        if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64) || !wow64) return REGSAM(0);
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExW(&version)) return REGSAM(0);
        bool atLeastXp =
            version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
            (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1));
        return atLeastXp ? REGSAM(KEY_WOW64_64KEY) : REGSAM(0);
    }();
    return extra;
}

HKEY rootOf(int hive) {
    return hive == kHiveLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

class Win32RegistryStore : public RegistryStore {
public:
    bool readDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                   uint32_t& value) override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(rootOf(hive), wide(keyPath), 0, KEY_READ | extraAccess(), &key) != ERROR_SUCCESS)
            return false;
        DWORD data = 0;
        DWORD size = sizeof data;
        LONG status =
            RegQueryValueExW(key, wide(name), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return false;
        value = data;
        return true;
    }

    bool readString(int hive, const std::u16string& keyPath, const std::u16string& name,
                    std::u16string& value) override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(rootOf(hive), wide(keyPath), 0, KEY_READ | extraAccess(), &key) != ERROR_SUCCESS)
            return false;
        wchar_t buffer[kRegistryStringBufferBytes / sizeof(wchar_t)] = {};
        DWORD size = sizeof buffer;
        LONG status =
            RegQueryValueExW(key, wide(name), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return false;
        // The stored data need not end with a NUL: take the characters up to the first NUL or
        // the end of the data.
        size_t count = size / sizeof(wchar_t);
        size_t length = 0;
        while (length < count && buffer[length] != 0)
            ++length;
        value.assign(reinterpret_cast<const char16_t*>(buffer), length);
        return true;
    }

    bool writeDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                    uint32_t value) override {
        HKEY key = nullptr;
        if (RegCreateKeyExW(rootOf(hive), wide(keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE | extraAccess(), nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD data = value;
        LONG status =
            RegSetValueExW(key, wide(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    bool writeString(int hive, const std::u16string& keyPath, const std::u16string& name,
                     const std::u16string& value) override {
        HKEY key = nullptr;
        if (RegCreateKeyExW(rootOf(hive), wide(keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE | extraAccess(), nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        LONG status =
            RegSetValueExW(key, wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    bool deleteValue(int hive, const std::u16string& keyPath, const std::u16string& name) override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(rootOf(hive), wide(keyPath), 0, KEY_SET_VALUE | extraAccess(), &key) !=
            ERROR_SUCCESS)
            return true;
        LONG status = RegDeleteValueW(key, wide(name));
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
};

} // namespace

RegistryStore& platformRegistryStore() {
    static Win32RegistryStore store;
    return store;
}

} // namespace vantor
