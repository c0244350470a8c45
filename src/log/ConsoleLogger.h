// The per-run diagnostic log file. Constructing a ConsoleLogger opens the log (keeping a previous
// log that did not end cleanly under a dated name) and makes it the process-wide log stream;
// destroying it writes the closing lines and the clean-close marker "@".
//
// The file is opened shared for reading and writing, so it can be watched while the host runs.
// Windows writes it in text mode (CRLF line ends); POSIX writes LF. If the file cannot be opened
// the log stays absent and every line is dropped silently.
#pragma once

#include <cstdio>
#include <string>

namespace vantor {

class ConsoleLogger {
public:
    explicit ConsoleLogger(const std::u16string& path);
    virtual ~ConsoleLogger();
    ConsoleLogger(const ConsoleLogger&) = delete;
    ConsoleLogger& operator=(const ConsoleLogger&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    const std::u16string& path() const { return path_; }

    // folder + "/" + "Quorvel Standalone x64.log"; the bare file name when the folder is empty.
    static std::u16string composePath(const std::u16string& appDataFolder);
    // Local time in the asctime form ("Tue Dec  8 03:47:55 2026"), no trailing newline.
    static std::string timestampText();

private:
    void keepUncleanLog(const std::string& timestampWithUnderscores);

    std::u16string path_;
    std::FILE* file_ = nullptr;
};

} // namespace vantor
