// The engine component's signature check, made before the component is loaded.
//
// Windows: Authenticode (WinVerifyTrust, no UI, no revocation network check), then the signer's
// chain must end in a trusted root and the signer certificate's subject must be exactly the one
// scripts/sign-engine.sh gives it: common name "Vantor" and organisation "Vantor". The chain's
// trust status is read directly because some WinVerifyTrust implementations accept an untrusted
// root.
// POSIX: the file's SHA-256 must equal the hex value "sha256_x64" that the installer pinned under
// HKEY_LOCAL_MACHINE\Software\Vantor\Brevian (upper or lower case hex).
//
// The file checked is the file loaded: VerifiedEngineFile holds it open from the check to the
// load (Windows: shared for reading only, so it cannot be written, renamed, deleted or replaced;
// POSIX: the descriptor the hash was read from, and the loaded image must be that file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

inline constexpr const char* kEnginePublisher = "Vantor";
inline constexpr const char16_t* kEngineHashValueName = u"sha256_x64";

class VerifiedEngineFile {
public:
    VerifiedEngineFile() = default;
    ~VerifiedEngineFile() { release(); }
    VerifiedEngineFile(const VerifiedEngineFile&) = delete;
    VerifiedEngineFile& operator=(const VerifiedEngineFile&) = delete;

    // Opens the file, keeps it open and checks it. True when it may be loaded; otherwise
    // `reason` says why (for the log) and nothing is held.
    bool verify(const std::u16string& path, std::string& reason);
    // What to load while the file is held.
    const std::u16string& loadPath() const { return loadPath_; }
    // True when `library` (loaded from loadPath) is the file checked. Windows: always, the held
    // file cannot have changed; POSIX: the loaded image's device and inode are the held file's.
    bool isTheLoadedFile(void* library) const;
    // Lets go of the file (after the load).
    void release();

private:
    std::u16string loadPath_;
    intptr_t handle_ = -1; // HANDLE or file descriptor
};

// The check alone, on a file that is not held afterwards.
bool verifyEngineSignature(const std::u16string& path, std::string& reason);

// Whether a signer certificate's subject names the engine's publisher.
bool isEnginePublisher(const std::string& commonName, const std::string& organisation);

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
