// The registry operations the host uses: read and write DWORD and string values, delete a value.
// Every operation opens the key, acts and closes it again. The hive selector is 1 for
// HKEY_LOCAL_MACHINE and any other value for HKEY_CURRENT_USER; key paths and value names are
// UTF-16 and compared without regard to ASCII case, as the Windows registry does.
//
// Backends: Win32 uses the real registry (advapi32). POSIX uses a FileRegistryStore, a plain-text
// file at $QUORVEL_REGISTRY_FILE, else ${XDG_CONFIG_HOME:-~/.config}/Vantor/registry.txt (format
// below). Tests install a MemoryRegistryStore (or a file store of their own) with
// setRegistryStore.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vantor {

inline constexpr int kHiveLocalMachine = 1;
inline constexpr int kHiveCurrentUser = 0;

// A string value is read through a 520-byte buffer: at most 259 characters and the terminator.
// Longer values read as absent.
inline constexpr size_t kRegistryStringBufferBytes = 520;

// read DWORD: found and value; missing key or value, or data larger than 4 bytes: false and
// `value` untouched. The stored type is not compared.
bool registryReadDword(int hive, const std::u16string& keyPath, const std::u16string& name, uint32_t& value);
// read string: found and text (up to the first NUL). Missing or too large: false, `value` untouched.
bool registryReadString(int hive, const std::u16string& keyPath, const std::u16string& name,
                        std::u16string& value);
// write DWORD / string: creates the key if needed.
bool registryWriteDword(int hive, const std::u16string& keyPath, const std::u16string& name, uint32_t value);
bool registryWriteString(int hive, const std::u16string& keyPath, const std::u16string& name,
                         const std::u16string& value);
// delete value: true when deleted, and also when the key cannot be opened.
bool registryDeleteValue(int hive, const std::u16string& keyPath, const std::u16string& name);

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    virtual bool readDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                           uint32_t& value) = 0;
    virtual bool readString(int hive, const std::u16string& keyPath, const std::u16string& name,
                            std::u16string& value) = 0;
    virtual bool writeDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                            uint32_t value) = 0;
    virtual bool writeString(int hive, const std::u16string& keyPath, const std::u16string& name,
                             const std::u16string& value) = 0;
    virtual bool deleteValue(int hive, const std::u16string& keyPath, const std::u16string& name) = 0;
};

// Installs the backend the operations use (not owned); null restores the platform's.
void setRegistryStore(RegistryStore* store);
// The platform's own backend (the seam's side).
RegistryStore& platformRegistryStore();

// Keys and typed values held in memory with the registry's semantics: values are typed bytes
// (REG_DWORD: 4 bytes little-endian; REG_SZ: UTF-16LE with a terminating NUL), so reading a value
// as the other type behaves as the real registry does. Thread-safe.
class MemoryRegistryStore : public RegistryStore {
public:
    enum ValueType : uint32_t { kString = 1, kDword = 4 }; // REG_SZ, REG_DWORD
    struct Value {
        ValueType type = kString;
        std::vector<uint8_t> data;
    };
    // hive (normalised to 1 or 0) -> key path (ASCII lower case, single backslashes) -> value name
    // (lower case) -> (name as written, value)
    using ValueMap = std::map<std::u16string, std::pair<std::u16string, Value>>;
    using KeyMap = std::map<std::u16string, std::pair<std::u16string, ValueMap>>;

    bool readDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                   uint32_t& value) override;
    bool readString(int hive, const std::u16string& keyPath, const std::u16string& name,
                    std::u16string& value) override;
    bool writeDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                    uint32_t value) override;
    bool writeString(int hive, const std::u16string& keyPath, const std::u16string& name,
                     const std::u16string& value) override;
    bool deleteValue(int hive, const std::u16string& keyPath, const std::u16string& name) override;

    void clear();
    bool hasKey(int hive, const std::u16string& keyPath);

protected:
    // Called with the lock held before every operation and after every change; the file store
    // loads and saves here.
    virtual void beforeAccess() {}
    virtual bool afterChange() { return true; }

    std::recursive_mutex lock_;
    KeyMap hives_[2];
};

// A MemoryRegistryStore kept in a plain UTF-8 text file, loaded before and saved after every
// operation. The format is that of a REGEDIT4 export, limited to string and DWORD values:
//
//   [HKEY_CURRENT_USER\Software\Vantor\QuorvelSA]
//   "firstUse"=dword:00000000
//   "audiodevice"="Speakers (High Definition Audio)"
//
// Hive names HKEY_LOCAL_MACHINE / HKLM and HKEY_CURRENT_USER / HKCU; in strings \\ and \" stand
// for a backslash and a quote, \n and \r for line breaks; lines starting with ';' or '#' and
// lines not understood are ignored. The file and its folder are created on the first write;
// saving goes through a temporary file renamed over the old one.
class FileRegistryStore : public MemoryRegistryStore {
public:
    explicit FileRegistryStore(std::string path);
    const std::string& path() const { return path_; }

    // Parsing and formatting of the file's text, exposed for tests.
    static void parse(const std::string& text, KeyMap (&hives)[2]);
    static std::string format(const KeyMap (&hives)[2]);

protected:
    void beforeAccess() override;
    bool afterChange() override;

private:
    std::string path_;
};

// The POSIX store's file: $QUORVEL_REGISTRY_FILE, else ${XDG_CONFIG_HOME:-~/.config}/Vantor/registry.txt.
std::string defaultRegistryFilePath();

} // namespace vantor
