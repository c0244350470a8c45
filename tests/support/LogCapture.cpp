#include "support/LogCapture.h"

#include "log/ConsoleLogger.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantor::test {

namespace {

std::u16string pathU16(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).u16string();
}

// The three lines a ConsoleLogger writes when it opens.
constexpr size_t kOpeningLines = 3;

} // namespace

std::string tempFilePath(const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "quorvel_test_" << stamp << "_" << counter.fetch_add(1) << suffix;
    auto path = std::filesystem::temp_directory_path() / name.str();
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

LogCapture::LogCapture() : path_(tempFilePath(".log")) {
    logger_ = std::make_unique<ConsoleLogger>(pathU16(path_));
}

LogCapture::~LogCapture() {
    logger_.reset();
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(std::u8string(path_.begin(), path_.end())), ignored);
}

void LogCapture::close() {
    logger_.reset();
}

std::string LogCapture::contents() const {
    std::ifstream in(std::filesystem::path(std::u8string(path_.begin(), path_.end())), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> LogCapture::rawLines() const {
    std::vector<std::string> lines;
    std::istringstream in(contents());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool LogCapture::parse(const std::string& line, LogEntry& out) {
    // <sev>:0x<tag>:<tid>:<ms>:<message>
    if (line.size() < 4 || line[1] != ':' || line.compare(2, 2, "0x") != 0) return false;
    size_t c1 = line.find(':', 4);
    if (c1 == std::string::npos) return false;
    size_t c2 = line.find(':', c1 + 1);
    if (c2 == std::string::npos) return false;
    size_t c3 = line.find(':', c2 + 1);
    if (c3 == std::string::npos) return false;
    try {
        out.severity = line[0];
        out.tag = static_cast<uint32_t>(std::stoul(line.substr(4, c1 - 4), nullptr, 16));
        out.threadId = static_cast<uint32_t>(std::stoul(line.substr(c1 + 1, c2 - c1 - 1)));
        out.ms = static_cast<uint32_t>(std::stoul(line.substr(c2 + 1, c3 - c2 - 1)));
    } catch (...) {
        return false;
    }
    out.message = line.substr(c3 + 1);
    return true;
}

std::vector<LogEntry> LogCapture::entries() const {
    std::vector<LogEntry> result;
    auto lines = rawLines();
    for (size_t i = kOpeningLines; i < lines.size(); ++i) {
        LogEntry entry;
        if (parse(lines[i], entry)) result.push_back(entry);
    }
    return result;
}

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> result;
    for (auto& entry : entries())
        result.push_back(entry.message);
    return result;
}

std::vector<std::string> LogCapture::messagesOf(uint32_t threadId) const {
    std::vector<std::string> result;
    for (auto& entry : entries())
        if (entry.threadId == threadId) result.push_back(entry.message);
    return result;
}

bool LogCapture::has(char severity, const std::string& message) const {
    for (auto& entry : entries())
        if (entry.severity == severity && entry.message == message) return true;
    return false;
}

size_t LogCapture::count(const std::string& substring) const {
    size_t n = 0;
    for (auto& entry : entries())
        if (entry.message.find(substring) != std::string::npos) ++n;
    return n;
}

} // namespace vantor::test
