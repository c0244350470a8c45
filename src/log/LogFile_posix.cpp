#include "log/LogFile.h"
#include "log/TextConv.h"

namespace vantor::logfile {

namespace {
// A path that does not convert opens nothing rather than a file named after a marker.
std::FILE* open(const std::u16string& path, const char* mode) {
    std::string narrow;
    return tryWideToNarrow(path, narrow) ? std::fopen(narrow.c_str(), mode) : nullptr;
}
} // namespace

// POSIX files are not locked against other readers, so nothing extra is needed for sharing.
std::FILE* openForLog(const std::u16string& path) {
    return open(path, "w");
}
std::FILE* openForReading(const std::u16string& path) {
    return open(path, "rb");
}
std::FILE* openForCopy(const std::u16string& path) {
    return open(path, "wb");
}

bool localTimeNow(std::tm& out) {
    std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

} // namespace vantor::logfile
