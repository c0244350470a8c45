// POSIX side of the engine module: shared objects and the executable's folder.
#include "bridge/SMPLModule.h"
#include "log/TextConv.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace vantor {

void* SMPLModule::loadLibrary(const std::u16string& path) {
    std::string narrow;
    if (!tryWideToNarrow(path, narrow)) return nullptr;
    return dlopen(narrow.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SMPLModule::resolve(void* library, const char* name) {
    return dlsym(library, name);
}

void SMPLModule::unloadLibrary(void* library) {
    dlclose(library);
}

char SMPLModule::pathSeparator() {
    return '/';
}

bool SMPLModule::replaceFile(const std::u16string& from, const std::u16string& to, std::string& reason) {
    std::string source, target;
    if (!tryWideToNarrow(from, source) || !tryWideToNarrow(to, target)) {
        reason = "the file name is not valid";
        return false;
    }
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

std::string SMPLModule::executableFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string text = length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
    size_t cut = text.rfind('\\');
    if (cut == std::string::npos) cut = text.rfind('/');
    return cut == std::string::npos ? std::string(".") : text.substr(0, cut);
}

} // namespace vantor
