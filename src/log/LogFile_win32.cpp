#include "log/LogFile.h"

#include <share.h>
#include <stdio.h>
#include <time.h>

namespace vantor::logfile {

namespace {
const wchar_t* wide(const std::u16string& path) {
    return reinterpret_cast<const wchar_t*>(path.c_str());
}
} // namespace

std::FILE* openForLog(const std::u16string& path) {
    return _wfsopen(wide(path), L"wt", _SH_DENYNO);
}
std::FILE* openForReading(const std::u16string& path) {
    return _wfsopen(wide(path), L"rb", _SH_DENYNO);
}
std::FILE* openForCopy(const std::u16string& path) {
    return _wfsopen(wide(path), L"wb", _SH_DENYNO);
}

bool localTimeNow(std::tm& out) {
    std::time_t now = std::time(nullptr);
    return localtime_s(&out, &now) == 0;
}

} // namespace vantor::logfile
