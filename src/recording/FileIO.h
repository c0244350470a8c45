// The recorder's only contact with the file system: an output file opened by UTF-8 path (wide on
// Windows) whose writes and seeks report how far they got, so a full disk is seen at once. Tests
// install an opener hook to stand in a failing or size-limited file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vantor {

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends at the current position; returns the bytes that reached the file (less than n on
    // failure). Unbuffered: what was written survives the process being killed.
    virtual size_t write(const void* data, size_t n) = 0;
    virtual bool seek(uint64_t position) = 0;
    virtual bool close() = 0;
    // The system's reason of the last failed write or seek, e.g. "No space left on device";
    // empty when it gave none.
    virtual std::string failure() const { return {}; }
};

// Replace creates or truncates; CreateNew never touches an existing file: it fails and sets
// *alreadyExists instead.
enum class OpenMode { Replace, CreateNew };

// Opens the file for binary writing; null if it cannot be opened.
std::unique_ptr<OutputFile> openOutputFile(const std::string& utf8Path, OpenMode mode = OpenMode::Replace,
                                           bool* alreadyExists = nullptr);

// The platform's own opener (what openOutputFile uses while no hook is installed).
std::unique_ptr<OutputFile> openPlatformOutputFile(const std::string& utf8Path,
                                                   OpenMode mode = OpenMode::Replace,
                                                   bool* alreadyExists = nullptr);

// The system's text for the error of the last failed call on this thread (a failed open).
std::string lastSystemError();

// Test hook: while set, openOutputFile calls it instead. Pass an empty function to restore.
using OutputFileOpener =
    std::function<std::unique_ptr<OutputFile>(const std::string& utf8Path, OpenMode mode, bool* alreadyExists)>;
void setOutputFileOpenHook(OutputFileOpener hook);

} // namespace vantor
