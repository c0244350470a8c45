#include "Platform.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>

namespace brevian {

HostEntry findHostEntry() {
    void* symbol = dlsym(RTLD_DEFAULT, "engineOpcode");
    return reinterpret_cast<HostEntry>(symbol);
}

static bool readExact(const std::string& path, std::size_t limit, std::vector<uint8_t>& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > limit) {
        std::fclose(f);
        return false;
    }
    std::vector<uint8_t> data(static_cast<std::size_t>(st.st_size));
    const std::size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f);
    // A file that grew since the size was taken is still bounded by the limit.
    const bool ok = got == data.size() && std::fgetc(f) == EOF;
    std::fclose(f);
    if (!ok) return false;
    out = std::move(data);
    return true;
}

bool readSmallFile(const std::string& utf8Path, std::size_t limit, std::vector<uint8_t>& out) {
    if (readExact(utf8Path, limit, out)) return true;
    const std::size_t slash = utf8Path.find_last_of('/');
    const std::size_t back = utf8Path.find_last_of('\\');
    if (back == std::string::npos || (slash != std::string::npos && slash > back)) return false;
    std::string fixed = utf8Path;
    fixed[back] = '/';
    return readExact(fixed, limit, out);
}

char pathSeparator() {
    return '/';
}

} // namespace brevian
