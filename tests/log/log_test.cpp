// The log line format, the opening and closing lines, rotation of an unclean previous log, and
// what happens when the log cannot be opened.
#include "log/ConsoleLogger.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "support/LogCapture.h"
#include "threads/Clock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace vantor;
using vantor::test::LogCapture;
using vantor::test::LogEntry;

namespace {

namespace fs = std::filesystem;

fs::path fsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::u16string u16(const std::string& utf8) {
    return fsPath(utf8).u16string();
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Files next to the log whose names start with "<log name>_": the dated copies.
std::vector<fs::path> datedCopies(const std::string& logPath) {
    std::vector<fs::path> found;
    fs::path log = fsPath(logPath);
    std::string prefix = log.filename().string() + "_";
    for (auto& entry : fs::directory_iterator(log.parent_path()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    return found;
}

void removeWithCopies(const std::string& logPath) {
    for (auto& copy : datedCopies(logPath))
        fs::remove(copy);
    std::error_code ignored;
    fs::remove(fsPath(logPath), ignored);
}

bool oneOf(const std::string& text, size_t at, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (text.compare(at, 3, names[i]) == 0) return true;
    return false;
}

bool digits(const std::string& text, size_t at, size_t count) {
    for (size_t i = at; i < at + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "Mmm dd yyyy" with the day padded by a space, as the compiler writes its date.
bool isBuildDate(const std::string& text) {
    return text.size() == 11 && oneOf(text, 0, kMonths, 12) && text[3] == ' ' &&
           (text[4] == ' ' || digits(text, 4, 1)) && digits(text, 5, 1) && text[6] == ' ' &&
           digits(text, 7, 4);
}

// "Www Mmm dd hh:mm:ss yyyy" with the given separator in place of ':'.
bool isStamp(const std::string& text, char separator) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return text.size() == 24 && oneOf(text, 0, days, 7) && text[3] == ' ' &&
           isBuildDate(text.substr(4, 6) + " 2000") && text[10] == ' ' && digits(text, 11, 2) &&
           text[13] == separator && digits(text, 14, 2) && text[16] == separator && digits(text, 17, 2) &&
           text[19] == ' ' && digits(text, 20, 4);
}

const std::string kDashes(79, '-');

} // namespace

TEST(LogFormat, PrefixAlignsTagAndThreadIdInFourColumns) {
    EXPECT_EQ(formatLogPrefix(LogSeverity::Info, 0x0310, 12, 5), "I:0x 310:  12:5:");
    EXPECT_EQ(formatLogPrefix(LogSeverity::Warning, 0x0001, 1, 0), "W:0x   1:   1:0:");
    EXPECT_EQ(formatLogPrefix(LogSeverity::Error, 0xbeef, 9999, 4294967295u), "E:0xbeef:9999:4294967295:");
    // Wider values take more columns instead of being cut.
    EXPECT_EQ(formatLogPrefix(LogSeverity::Info, 0x0, 123456, 17), "I:0x   0:123456:17:");
}

TEST(LogFormat, LinesCarrySeverityThreadAndMessage) {
    LogCapture log;
    const uint32_t before = multimediaMillis();
    logInfo("value ", 42, " of ", 3.5);
    logWarning("careful");
    logError("broken: ", -7);
    const uint32_t after = multimediaMillis();

    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].severity, 'I');
    EXPECT_EQ(entries[0].message, "value 42 of 3.5");
    EXPECT_EQ(entries[1].severity, 'W');
    EXPECT_EQ(entries[1].message, "careful");
    EXPECT_EQ(entries[2].severity, 'E');
    EXPECT_EQ(entries[2].message, "broken: -7");
    for (const LogEntry& e : entries) {
        EXPECT_EQ(e.threadId, currentThreadId());
        EXPECT_LE(e.tag, 0xffffu);
        EXPECT_GE(e.ms, before);
        EXPECT_LE(e.ms, after);
    }
    EXPECT_TRUE(log.has('E', "broken: -7"));
    EXPECT_FALSE(log.has('I', "broken: -7"));
}

TEST(LogFormat, LineEndsFollowThePlatform) {
    LogCapture log;
    logInfo("end of line");
    log.close();
    std::string bytes = log.contents();
#ifdef _WIN32
    EXPECT_NE(bytes.find("end of line\r\n"), std::string::npos);
#else
    EXPECT_NE(bytes.find("end of line\n"), std::string::npos);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
#endif
}

TEST(LogFormat, TimestampHasTheAsctimeForm) {
    std::string stamp = ConsoleLogger::timestampText();
    EXPECT_TRUE(isStamp(stamp, ':')) << stamp;
    EXPECT_FALSE(isStamp("Tue Dec  8 03:47:55 26", ':'));
    EXPECT_LE(stamp.size(), 79u);
}

TEST(LogFormat, ComposedPath) {
    EXPECT_EQ(ConsoleLogger::composePath(u"C:/Users/a/AppData/Roaming/Vantor/Quorvel"),
              u"C:/Users/a/AppData/Roaming/Vantor/Quorvel/Quorvel Standalone x64.log");
    EXPECT_EQ(ConsoleLogger::composePath(u""), u"Quorvel Standalone x64.log");
}

TEST(LogLifecycle, OpeningAndClosingLines) {
    std::string path = vantor::test::tempFilePath(" log ä.log");
    {
        ConsoleLogger logger(u16(path));
        ASSERT_TRUE(logger.isOpen());
        EXPECT_TRUE(logIsOpen());
        logInfo("between");
    }
    std::string bytes = readAll(fsPath(path));
    auto lines = splitLines(bytes);
    ASSERT_EQ(lines.size(), 7u) << bytes;

    LogEntry e;
    ASSERT_TRUE(LogCapture::parse(lines[0], e));
    EXPECT_EQ(e.severity, 'I');
    EXPECT_EQ(e.message.rfind("g_pluginStream:", 0), 0u) << e.message;
    EXPECT_GT(e.message.size(), std::string("g_pluginStream:").size());

    ASSERT_TRUE(LogCapture::parse(lines[1], e));
    const std::string opened = path + " opened on: ";
    ASSERT_EQ(e.message.rfind(opened, 0), 0u) << e.message;
    ASSERT_EQ(e.message.size(), opened.size() + 24 + 7 + 11) << e.message;
    EXPECT_TRUE(isStamp(e.message.substr(opened.size(), 24), '_')) << e.message;
    EXPECT_EQ(e.message.substr(opened.size() + 24, 7), " BUILD:");
    EXPECT_TRUE(isBuildDate(e.message.substr(opened.size() + 31))) << e.message;

    ASSERT_TRUE(LogCapture::parse(lines[2], e));
    EXPECT_EQ(e.message, kDashes);
    ASSERT_TRUE(LogCapture::parse(lines[3], e));
    EXPECT_EQ(e.message, "between");
    ASSERT_TRUE(LogCapture::parse(lines[4], e));
    EXPECT_EQ(e.message, kDashes);
    ASSERT_TRUE(LogCapture::parse(lines[5], e));
    const std::string closed = path + " closed on: ";
    ASSERT_EQ(e.message.rfind(closed, 0), 0u) << e.message;
    EXPECT_TRUE(isStamp(e.message.substr(closed.size()), ':')) << e.message;
    // The clean-close marker ends the file, without a newline.
    EXPECT_EQ(lines[6], "@");
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '@');
    removeWithCopies(path);
}

TEST(LogLifecycle, NothingIsWrittenAfterClose) {
    LogCapture log;
    log.close();
    std::string closedBytes = log.contents();
    logError("too late");
    EXPECT_EQ(log.contents(), closedBytes);
    EXPECT_EQ(closedBytes.back(), '@');
}

TEST(LogLifecycle, UnopenableFileLeavesTheLogAbsent) {
    std::string missingDir = vantor::test::tempFilePath("_missing_dir");
    {
        ConsoleLogger logger(u16(missingDir + "/sub/x.log"));
        EXPECT_FALSE(logger.isOpen());
        EXPECT_FALSE(logIsOpen());
        logInfo("dropped"); // must simply do nothing
    }
    EXPECT_FALSE(fs::exists(fsPath(missingDir)));
    EXPECT_FALSE(logIsOpen());
}

TEST(LogLifecycle, NewestLoggerReceivesLinesAndHandsThemBack) {
    LogCapture outer;
    logInfo("to outer 1");
    {
        LogCapture inner;
        logInfo("to inner");
        EXPECT_EQ(inner.messages(), std::vector<std::string>{"to inner"});
    }
    EXPECT_TRUE(logIsOpen());
    logInfo("to outer 2");
    EXPECT_EQ(outer.messages(), (std::vector<std::string>{"to outer 1", "to outer 2"}));
}

TEST(LogRotation, CleanlyClosedLogIsOverwrittenWithoutCopy) {
    std::string path = vantor::test::tempFilePath(".log");
    writeAll(fsPath(path), "I:0x   0:   1:1:old line\n@");
    { ConsoleLogger logger(u16(path)); }
    EXPECT_TRUE(datedCopies(path).empty());
    std::string bytes = readAll(fsPath(path));
    EXPECT_EQ(bytes.find("old line"), std::string::npos);
    EXPECT_EQ(splitLines(bytes).size(), 6u);
    removeWithCopies(path);
}

TEST(LogRotation, UncleanLogIsCopiedToTheDatedNameThenOverwritten) {
    std::string path = vantor::test::tempFilePath(".log");
    const std::string old = "I:0x   0:   1:1:first\nE:0x   0:   1:2:crashed here\n";
    writeAll(fsPath(path), old);
    { ConsoleLogger logger(u16(path)); }

    auto copies = datedCopies(path);
    ASSERT_EQ(copies.size(), 1u);
    std::string name = copies[0].filename().string();
    const std::string prefix = fsPath(path).filename().string() + "_";
    ASSERT_EQ(name.size(), prefix.size() + 24 + 4) << name;
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_TRUE(isStamp(name.substr(prefix.size(), 24), '_')) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".log");
    EXPECT_EQ(name.find(':'), std::string::npos);
    EXPECT_EQ(readAll(copies[0]), old);
    EXPECT_EQ(readAll(fsPath(path)).find("crashed here"), std::string::npos);
    removeWithCopies(path);
}

TEST(LogRotation, AnyEndingOtherThanTheMarkerCountsAsUnclean) {
    std::string path = vantor::test::tempFilePath(".log");
    writeAll(fsPath(path), "@\n"); // a marker followed by more is not a clean close
    { ConsoleLogger logger(u16(path)); }
    auto copies = datedCopies(path);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readAll(copies[0]), "@\n");
    removeWithCopies(path);
}

TEST(LogRotation, EmptyOrMissingPreviousLogIsNotCopied) {
    std::string path = vantor::test::tempFilePath(".log");
    writeAll(fsPath(path), "");
    { ConsoleLogger logger(u16(path)); }
    EXPECT_TRUE(datedCopies(path).empty());
    removeWithCopies(path);

    { ConsoleLogger logger(u16(path)); }
    EXPECT_TRUE(datedCopies(path).empty());
    EXPECT_TRUE(fs::exists(fsPath(path)));
    removeWithCopies(path);
}

TEST(LogRotation, ASecondUncleanRunReplacesTheCopyOfTheSameSecond) {
    // Two unclean logs rotated within one second share the dated name: the copy is overwritten.
    std::string path = vantor::test::tempFilePath(".log");
    for (int attempt = 0; attempt < 5; ++attempt) {
        removeWithCopies(path);
        writeAll(fsPath(path), "run one\n");
        { ConsoleLogger first(u16(path)); }
        writeAll(fsPath(path), "run two, longer than the first\n");
        std::string stampBefore = ConsoleLogger::timestampText();
        { ConsoleLogger second(u16(path)); }
        if (ConsoleLogger::timestampText() != stampBefore) continue; // crossed a second: try again
        auto copies = datedCopies(path);
        if (copies.size() != 1u) continue; // the first run happened in the previous second
        EXPECT_EQ(readAll(copies[0]), "run two, longer than the first\n");
        removeWithCopies(path);
        return;
    }
    removeWithCopies(path);
    GTEST_SKIP() << "could not place two openings within one second";
}
