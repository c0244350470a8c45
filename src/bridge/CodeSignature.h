// The engine component's signature check, made before the component is loaded.
//
// Windows: Authenticode (WinVerifyTrust, no UI, no revocation network check), then the signer's
// chain must end in a trusted root and the signer certificate must name the publisher "Vantor"
// (organisation or common name). The chain's trust status is read directly because some
// WinVerifyTrust implementations accept an untrusted root.
// POSIX: the file's SHA-256 must equal the hex value "sha256_x64" that the installer pinned under
// HKEY_LOCAL_MACHINE\Software\Vantor\Brevian (upper or lower case hex).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

inline constexpr const char* kEnginePublisher = "Vantor";
inline constexpr const char16_t* kEngineHashValueName = u"sha256_x64";

// True when the file at `path` may be loaded; otherwise `reason` says why (for the log).
bool verifyEngineSignature(const std::u16string& path, std::string& reason);

// Incremental SHA-256.
class Sha256 {
public:
    Sha256();
    void update(const void* data, size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string finishHex();

private:
    void compress(const uint8_t* block);
    uint32_t state_[8];
    uint8_t buffer_[64] = {};
    size_t used_ = 0;
    uint64_t length_ = 0;
};

// SHA-256 of a byte range and of a file, as 64 lower-case hex digits. The file form gives false
// when the file cannot be read.
std::string sha256Hex(const void* data, size_t size);
bool sha256FileHex(const std::u16string& path, std::string& hex);

} // namespace vantor
