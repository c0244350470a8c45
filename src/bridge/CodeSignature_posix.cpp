// POSIX: the engine file must hash to the value the installer pinned.
#include "app/Registry.h"
#include "bridge/CodeSignature.h"
#include "log/TextConv.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <link.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantor {

namespace {

bool hashDescriptor(int fd, std::string& hex) {
    Sha256 hash;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        hash.update(buffer, static_cast<size_t>(got));
    }
    hex = hash.finishHex();
    return true;
}

int openForReading(const std::u16string& path) {
    std::string narrow;
    if (!tryWideToNarrow(path, narrow)) return -1;
    return ::open(narrow.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace

bool sha256FileHex(const std::u16string& path, std::string& hex) {
    const int fd = openForReading(path);
    if (fd < 0) return false;
    const bool ok = hashDescriptor(fd, hex);
    ::close(fd);
    return ok;
}

bool VerifiedEngineFile::verify(const std::u16string& path, std::string& reason) {
    release();
    std::u16string pinned;
    if (!registryReadString(kHiveLocalMachine, u"Software\\Vantor\\Brevian", kEngineHashValueName, pinned)) {
        reason = "no sha256_x64 pinned for the engine";
        return false;
    }
    std::string expected = wideToNarrow(pinned);
    std::transform(expected.begin(), expected.end(), expected.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The hash is taken from the descriptor that is then loaded: replacing the file at the path
    // afterwards changes nothing that is loaded.
    const int fd = openForReading(path);
    std::string actual;
    if (fd < 0 || !hashDescriptor(fd, actual)) {
        if (fd >= 0) ::close(fd);
        reason = "cannot read the engine file";
        return false;
    }
    if (expected.size() != 64 || actual != expected) {
        ::close(fd);
        reason = "the engine file's SHA-256 " + actual + " is not the pinned one";
        return false;
    }
    handle_ = fd;
    loadPath_ = path;
    return true;
}

bool VerifiedEngineFile::isTheLoadedFile(void* library) const {
    struct stat held {};
    struct link_map* map = nullptr;
    if (handle_ < 0 || !library || fstat(static_cast<int>(handle_), &held) != 0 ||
        dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return false;
    // The mapping that starts at the object's load base names the file it came from.
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0, offset = 0, inode = 0;
        unsigned int major = 0, minor = 0;
        char perms[8] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %7s %lx %x:%x %lu", &start, &end, perms, &offset, &major, &minor,
                        &inode) != 7)
            continue;
        if (start != static_cast<unsigned long>(map->l_addr) || offset != 0) continue;
        return inode == held.st_ino && makedev(major, minor) == held.st_dev;
    }
    return false;
}

void VerifiedEngineFile::release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    loadPath_.clear();
}

} // namespace vantor
