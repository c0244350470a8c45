#include "log/ConsoleLogger.h"
#include "log/LogFile.h"
#include "log/LogStream.h"
#include "log/TextConv.h"

#include <algorithm>
#include <string_view>

namespace vantor {

namespace {

// A function, not a global, so a logger opened during static construction still has it.
const std::string& dashes() {
    static const std::string line(79, '-');
    return line;
}

bool endsCleanly(std::FILE* file) {
    if (std::fseek(file, -1, SEEK_END) != 0) return false;
    return std::fgetc(file) == '@';
}

long fileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    return std::ftell(file);
}

// Best effort: a failed copy leaves whatever was written.
void copyFile(std::FILE* from, const std::u16string& to) {
    std::FILE* out = logfile::openForCopy(to);
    if (!out) return;
    std::rewind(from);
    char buffer[16384];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
        if (std::fwrite(buffer, 1, n, out) != n) break;
    }
    std::fclose(out);
}

} // namespace

std::string ConsoleLogger::timestampText() {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    if (!logfile::localTimeNow(t)) return "??? ??? ?? ??:??:?? ????";
    char text[80];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", days[(t.tm_wday % 7 + 7) % 7],
                  months[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return text;
}

std::u16string ConsoleLogger::composePath(const std::u16string& appDataFolder) {
    const std::u16string name = u"Quorvel Standalone x64.log";
    if (appDataFolder.empty()) return name;
    return appDataFolder + u"/" + name;
}

ConsoleLogger::ConsoleLogger(const std::u16string& path) : path_(path) {
    std::string stamp = timestampText();
    std::replace(stamp.begin(), stamp.end(), ':', '_');

    keepUncleanLog(stamp);

    file_ = logfile::openForLog(path_);
    if (!file_) return;
    const std::string streamLine = logConcat("g_pluginStream:", static_cast<const void*>(file_));
    const std::string openedLine = wideToNarrow(path_) + " opened on: " + stamp + " BUILD:" + __DATE__;
    logdetail::attachStream(
        file_, {std::string_view(streamLine), std::string_view(openedLine), std::string_view(dashes())});
}

void ConsoleLogger::keepUncleanLog(const std::string& stamp) {
    std::FILE* previous = logfile::openForReading(path_);
    if (!previous) return;
    if (fileSize(previous) > 0 && !endsCleanly(previous)) {
        copyFile(previous, path_ + u"_" + narrowToWide(stamp) + u".log");
    }
    std::fclose(previous);
}

ConsoleLogger::~ConsoleLogger() {
    if (!file_) return;
    const std::string closed = wideToNarrow(path_) + " closed on: " + timestampText();
    logdetail::closeStream(file_, {std::string_view(dashes()), std::string_view(closed)});
    file_ = nullptr;
}

} // namespace vantor
