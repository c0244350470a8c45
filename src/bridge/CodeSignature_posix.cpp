// POSIX: the engine file must hash to the value the installer pinned.
#include "app/Registry.h"
#include "bridge/CodeSignature.h"
#include "log/TextConv.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace vantor {

bool sha256FileHex(const std::u16string& path, std::string& hex) {
    std::string narrow;
    if (!tryWideToNarrow(path, narrow)) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(narrow.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    Sha256 hash;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0)
        hash.update(buffer, got);
    if (std::ferror(file.get())) return false;
    hex = hash.finishHex();
    return true;
}

bool verifyEngineSignature(const std::u16string& path, std::string& reason) {
    std::u16string pinned;
    if (!registryReadString(kHiveLocalMachine, u"Software\\Vantor\\Brevian", kEngineHashValueName, pinned)) {
        reason = "no sha256_x64 pinned for the engine";
        return false;
    }
    std::string expected = wideToNarrow(pinned);
    std::transform(expected.begin(), expected.end(), expected.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string actual;
    if (!sha256FileHex(path, actual)) {
        reason = "cannot read the engine file";
        return false;
    }
    if (expected.size() != 64 || actual != expected) {
        reason = "the engine file's SHA-256 " + actual + " is not the pinned one";
        return false;
    }
    return true;
}

} // namespace vantor
