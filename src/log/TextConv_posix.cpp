// POSIX: every code page selector means UTF-8 (there is no system ANSI, OEM or UTF-7 code page
// to honour), converted by the project's own strict codec. The buffer split mirrors Windows, so
// the failure markers come out the same for the same input lengths.
#include "log/TextConv.h"
#include "log/Utf.h"

#include <cstring>
#include <vector>

namespace vantor {

namespace {
size_t roundUp16(size_t n) {
    return (n + 15) / 16 * 16;
}
} // namespace

std::string wideToNarrow(const std::u16string& text, int /*codePage*/) {
    size_t length = text.find(u'\0');
    if (length == std::u16string::npos) length = text.size();
    if (length == 0) return {};
    size_t written = 0;
    if (length <= 1023) {
        char buffer[4096];
        if (!utf::utf16ToUtf8(text.data(), length, buffer, sizeof buffer, written)) return "VTRSConv_ERROR1";
        return std::string(buffer, written);
    }
    std::vector<char> buffer(roundUp16(length + 2) * 4);
    if (!utf::utf16ToUtf8(text.data(), length, buffer.data(), buffer.size(), written))
        return "VTRSConv_ERROR2";
    return std::string(buffer.data(), written);
}

std::u16string narrowToWide(const std::string& text, int /*codePage*/) {
    size_t length = text.find('\0');
    if (length == std::string::npos) length = text.size();
    if (length == 0) return {};
    size_t written = 0;
    if (length <= 1023) {
        char16_t buffer[1024];
        if (!utf::utf8ToUtf16(text.data(), length, buffer, 1024, written)) return u"VTRSConv_ERROR3";
        return std::u16string(buffer, written);
    }
    std::vector<char16_t> buffer(roundUp16(length + 2));
    if (!utf::utf8ToUtf16(text.data(), length, buffer.data(), buffer.size(), written))
        return u"VTRSConv_ERROR4";
    return std::u16string(buffer.data(), written);
}

bool tryNarrowToWide(const std::string& text, std::u16string& out, int /*codePage*/) {
    out.clear();
    size_t length = text.find('\0');
    if (length == std::string::npos) length = text.size();
    if (length == 0) return true;
    std::vector<char16_t> buffer(length); // UTF-8 never needs more units in UTF-16
    size_t written = 0;
    if (!utf::utf8ToUtf16(text.data(), length, buffer.data(), buffer.size(), written)) return false;
    out.assign(buffer.data(), written);
    return true;
}

bool tryWideToNarrow(const std::u16string& text, std::string& out, int /*codePage*/) {
    out.clear();
    size_t length = text.find(u'\0');
    if (length == std::u16string::npos) length = text.size();
    if (length == 0) return true;
    std::vector<char> buffer(length * 3); // at most three bytes per UTF-16 unit
    size_t written = 0;
    if (!utf::utf16ToUtf8(text.data(), length, buffer.data(), buffer.size(), written)) return false;
    out.assign(buffer.data(), written);
    return true;
}

std::u16string narrowToWide(const char* text, int codePage) {
    if (!text) return {};
    return narrowToWide(std::string(text, std::strlen(text)), codePage);
}

} // namespace vantor
