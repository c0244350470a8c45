#include "log/LogFile.h"
#include "log/TextConv.h"

namespace vantor::logfile {

// POSIX files are not locked against other readers, so nothing extra is needed for sharing.
std::FILE* openForLog(const std::u16string& path) {
    return std::fopen(wideToNarrow(path).c_str(), "w");
}
std::FILE* openForReading(const std::u16string& path) {
    return std::fopen(wideToNarrow(path).c_str(), "rb");
}
std::FILE* openForCopy(const std::u16string& path) {
    return std::fopen(wideToNarrow(path).c_str(), "wb");
}

bool localTimeNow(std::tm& out) {
    std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

} // namespace vantor::logfile
