// LogCapture: sends the host's log to a fresh temporary file for as long as it lives, so a test
// can assert the exact lines its code wrote.
//
//   #include "support/LogCapture.h"
//   vantor::test::LogCapture log;              // opens a ConsoleLogger on a temp file
//   ... code under test logs through logInfo / logWarning / logError ...
//   log.messages()                   -> messages written since the capture opened, in order
//                                       (the logger's own opening lines are left out)
//   log.entries()                    -> the same with severity, thread id and milliseconds
//   log.messagesOf(currentThreadId()) -> only the messages the given thread wrote
//   log.has('E', "exact message")    -> true if such a line was written
//   log.count("substring")           -> number of messages containing the text
//   log.rawLines()                   -> every line of the file as written (CR/LF removed)
//   log.close()                      -> closes the logger now (closing lines and "@");
//                                       the readers above still work afterwards, and then
//                                       include the two closing lines (79 dashes, "... closed on: ...")
//   log.path()                       -> the file (UTF-8); removed by the destructor
//
// The newest open logger receives the lines: a capture opened while another logger is open
// (an EngineManager's, say) takes the lines over and hands them back when it closes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor {
class ConsoleLogger;
}

namespace vantor::test {

struct LogEntry {
    char severity = 0;     // 'I', 'W' or 'E'
    uint32_t tag = 0;      // processor tag
    uint32_t threadId = 0; // thread that wrote the line
    uint32_t ms = 0;       // multimedia milliseconds
    std::string message;
};

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> rawLines() const;
    std::vector<LogEntry> entries() const;
    std::vector<std::string> messages() const;
    // The messages one thread wrote: the host's other threads log at their own pace.
    std::vector<std::string> messagesOf(uint32_t threadId) const;
    bool has(char severity, const std::string& message) const;
    size_t count(const std::string& substring) const;
    void close();
    const std::string& path() const { return path_; }
    // The whole file as bytes.
    std::string contents() const;

    // Splits "<sev>:0x<tag>:<tid>:<ms>:<message>"; false if the line is not in that form.
    static bool parse(const std::string& line, LogEntry& out);

private:
    std::string path_;
    std::unique_ptr<ConsoleLogger> logger_;
};

// A path for a temporary file of this test process (not created), ending in the given suffix.
std::string tempFilePath(const std::string& suffix);

} // namespace vantor::test
