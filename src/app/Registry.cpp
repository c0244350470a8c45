#include "app/Registry.h"
#include "log/TextConv.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace vantor {

namespace {

std::atomic<RegistryStore*> installedStore{nullptr};

RegistryStore& currentStore() {
    RegistryStore* store = installedStore.load(std::memory_order_acquire);
    return store ? *store : platformRegistryStore();
}

} // namespace

void setRegistryStore(RegistryStore* store) {
    installedStore.store(store, std::memory_order_release);
}

bool registryReadDword(int hive, const std::u16string& keyPath, const std::u16string& name, uint32_t& value) {
    return currentStore().readDword(hive, keyPath, name, value);
}
bool registryReadString(int hive, const std::u16string& keyPath, const std::u16string& name,
                        std::u16string& value) {
    return currentStore().readString(hive, keyPath, name, value);
}
bool registryWriteDword(int hive, const std::u16string& keyPath, const std::u16string& name, uint32_t value) {
    return currentStore().writeDword(hive, keyPath, name, value);
}
bool registryWriteString(int hive, const std::u16string& keyPath, const std::u16string& name,
                         const std::u16string& value) {
    return currentStore().writeString(hive, keyPath, name, value);
}
bool registryDeleteValue(int hive, const std::u16string& keyPath, const std::u16string& name) {
    return currentStore().deleteValue(hive, keyPath, name);
}

// ---- in-memory store --------------------------------------------------------------------

namespace {

int hiveIndex(int hive) {
    return hive == kHiveLocalMachine ? 1 : 0;
}

std::u16string foldCase(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

// Key paths: separators collapsed and trimmed, as the registry resolves "a\\b\" to "a\b".
std::u16string normaliseKeyPath(const std::u16string& path) {
    std::u16string out;
    for (char16_t c : path) {
        if (c == u'\\' && (out.empty() || out.back() == u'\\')) continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == u'\\')
        out.pop_back();
    return out;
}

std::vector<uint8_t> dwordBytes(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> stringBytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// The value stored under the key and name, both matched without regard to case; null if absent.
const MemoryRegistryStore::Value* findValue(const MemoryRegistryStore::KeyMap& keys,
                                            const std::u16string& keyPath, const std::u16string& name) {
    auto key = keys.find(foldCase(normaliseKeyPath(keyPath)));
    if (key == keys.end()) return nullptr;
    auto found = key->second.second.find(foldCase(name));
    return found == key->second.second.end() ? nullptr : &found->second.second;
}

} // namespace

bool MemoryRegistryStore::readDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                                    uint32_t& value) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    const MemoryRegistryStore::Value* found = findValue(hives_[hiveIndex(hive)], keyPath, name);
    if (!found) return false;
    const std::vector<uint8_t>& data = found->data;
    if (data.size() > 4) return false;
    // A shorter value fills only the low bytes of the 4-byte buffer, which starts zeroed.
    uint32_t result = 0;
    for (size_t i = 0; i < data.size(); ++i)
        result |= static_cast<uint32_t>(data[i]) << (8 * i);
    value = result;
    return true;
}

bool MemoryRegistryStore::readString(int hive, const std::u16string& keyPath, const std::u16string& name,
                                     std::u16string& value) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    const MemoryRegistryStore::Value* found = findValue(hives_[hiveIndex(hive)], keyPath, name);
    if (!found) return false;
    const std::vector<uint8_t>& data = found->data;
    if (data.size() > kRegistryStringBufferBytes) return false;
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    value = text;
    return true;
}

bool MemoryRegistryStore::writeDword(int hive, const std::u16string& keyPath, const std::u16string& name,
                                     uint32_t value) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    std::u16string path = normaliseKeyPath(keyPath);
    auto& key = hives_[hiveIndex(hive)][foldCase(path)];
    if (key.first.empty()) key.first = path;
    key.second[foldCase(name)] = {name, Value{kDword, dwordBytes(value)}};
    return afterChange();
}

bool MemoryRegistryStore::writeString(int hive, const std::u16string& keyPath, const std::u16string& name,
                                      const std::u16string& value) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    std::u16string path = normaliseKeyPath(keyPath);
    auto& key = hives_[hiveIndex(hive)][foldCase(path)];
    if (key.first.empty()) key.first = path;
    key.second[foldCase(name)] = {name, Value{kString, stringBytes(value)}};
    return afterChange();
}

bool MemoryRegistryStore::deleteValue(int hive, const std::u16string& keyPath, const std::u16string& name) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    KeyMap& keys = hives_[hiveIndex(hive)];
    auto key = keys.find(foldCase(normaliseKeyPath(keyPath)));
    if (key == keys.end()) return true; // the key cannot be opened: nothing to delete
    if (key->second.second.erase(foldCase(name)) == 0) return false;
    afterChange();
    return true;
}

void MemoryRegistryStore::clear() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    hives_[0].clear();
    hives_[1].clear();
}

bool MemoryRegistryStore::hasKey(int hive, const std::u16string& keyPath) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    beforeAccess();
    return hives_[hiveIndex(hive)].count(foldCase(normaliseKeyPath(keyPath))) != 0;
}

// ---- file store -------------------------------------------------------------------------

FileRegistryStore::FileRegistryStore(std::string path) : path_(std::move(path)) {}

namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Reads a quoted string starting at text[pos] == '"'; on success pos is just past the closing quote.
bool readQuoted(const std::string& text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            if (next == 'n')
                out.push_back('\n');
            else if (next == 'r')
                out.push_back('\r');
            else
                out.push_back(next);
            continue;
        }
        out.push_back(c);
    }
    return false;
}

std::string quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::u16string textOfStringValue(const std::vector<uint8_t>& data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

} // namespace

void FileRegistryStore::parse(const std::string& text, KeyMap (&hives)[2]) {
    hives[0].clear();
    hives[1].clear();
    std::istringstream in(text);
    std::string line;
    KeyMap* hive = nullptr;
    std::pair<std::u16string, ValueMap>* key = nullptr;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string path = line.substr(1, line.size() - 2);
            size_t slash = path.find('\\');
            std::string hiveName = path.substr(0, slash);
            std::string rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
            hive = nullptr;
            key = nullptr;
            if (hiveName == "HKEY_LOCAL_MACHINE" || hiveName == "HKLM")
                hive = &hives[1];
            else if (hiveName == "HKEY_CURRENT_USER" || hiveName == "HKCU")
                hive = &hives[0];
            if (!hive) continue;
            std::u16string keyPath = normaliseKeyPath(narrowToWide(rest));
            key = &(*hive)[foldCase(keyPath)];
            if (key->first.empty()) key->first = keyPath;
            continue;
        }
        if (!key) continue;
        size_t pos = 0;
        std::string name;
        if (!readQuoted(line, pos, name)) continue;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        std::u16string wideName = narrowToWide(name);
        if (pos < line.size() && line[pos] == '"') {
            std::string value;
            if (!readQuoted(line, pos, value)) continue;
            key->second[foldCase(wideName)] = {wideName, Value{kString, stringBytes(narrowToWide(value))}};
        } else if (line.compare(pos, 6, "dword:") == 0) {
            std::string digits = trim(line.substr(pos + 6));
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                continue;
            uint32_t value = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
            key->second[foldCase(wideName)] = {wideName, Value{kDword, dwordBytes(value)}};
        }
    }
}

std::string FileRegistryStore::format(const KeyMap (&hives)[2]) {
    std::string out = "REGEDIT4\n";
    const char* hiveNames[2] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
    for (int h = 1; h >= 0; --h) {
        for (const auto& [folded, key] : hives[h]) {
            out += "\n[";
            out += hiveNames[h];
            if (!key.first.empty()) out += "\\" + wideToNarrow(key.first);
            out += "]\n";
            for (const auto& [foldedName, entry] : key.second) {
                out += quote(wideToNarrow(entry.first)) + "=";
                const Value& value = entry.second;
                if (value.type == kDword && value.data.size() == 4) {
                    uint32_t v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                 (static_cast<uint32_t>(value.data[3]) << 24);
                    char digits[16];
                    std::snprintf(digits, sizeof digits, "dword:%08x", v);
                    out += digits;
                } else {
                    out += quote(wideToNarrow(textOfStringValue(value.data)));
                }
                out += "\n";
            }
        }
    }
    return out;
}

void FileRegistryStore::beforeAccess() {
    std::ifstream in(std::filesystem::u8path(path_), std::ios::binary);
    if (!in) {
        hives_[0].clear();
        hives_[1].clear();
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    parse(text.str(), hives_);
}

bool FileRegistryStore::afterChange() {
    std::error_code error;
    std::filesystem::path target = std::filesystem::u8path(path_);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << format(hives_);
        out.flush();
        if (!out) return false;
    }
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

std::string defaultRegistryFilePath() {
    const char* explicitPath = std::getenv("QUORVEL_REGISTRY_FILE");
    if (explicitPath && explicitPath[0]) return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/Vantor/registry.txt";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.config/Vantor/registry.txt";
    return "registry.txt";
}

} // namespace vantor
