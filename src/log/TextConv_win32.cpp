#include "log/TextConv.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace vantor {

namespace {

size_t roundUp16(size_t n) {
    return (n + 15) / 16 * 16;
}

UINT codePageFor(int selector) {
    switch (selector) {
    case 5:
        return CP_UTF7;
    case 11:
    case 12:
        return CP_ACP;
    case 13:
        return CP_OEMCP;
    default:
        return CP_UTF8;
    }
}

// Strict where the platform allows it, so invalid input fails instead of turning into "?".
DWORD narrowFlags(UINT page) {
    return page == CP_UTF7 ? 0 : MB_ERR_INVALID_CHARS;
}
DWORD wideFlags(UINT page) {
    return page == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
}

} // namespace

std::string wideToNarrow(const std::u16string& text, int codePage) {
    size_t length = text.find(u'\0');
    if (length == std::u16string::npos) length = text.size();
    if (length == 0) return {};
    const UINT page = codePageFor(codePage);
    const auto* in = reinterpret_cast<const wchar_t*>(text.c_str()); // in[length] is a NUL
    if (length <= 1023) {
        char buffer[4096];
        int n = WideCharToMultiByte(page, wideFlags(page), in, static_cast<int>(length + 1), buffer,
                                    sizeof buffer, nullptr, nullptr);
        if (n == 0) return "VTRSConv_ERROR1";
        return std::string(buffer);
    }
    std::vector<char> buffer(roundUp16(length + 2) * 4);
    int n = WideCharToMultiByte(page, wideFlags(page), in, static_cast<int>(length + 1), buffer.data(),
                                static_cast<int>(buffer.size()), nullptr, nullptr);
    if (n == 0) return "VTRSConv_ERROR2";
    return std::string(buffer.data());
}

std::u16string narrowToWide(const std::string& text, int codePage) {
    size_t length = text.find('\0');
    if (length == std::string::npos) length = text.size();
    if (length == 0) return {};
    const UINT page = codePageFor(codePage);
    if (length <= 1023) {
        wchar_t buffer[1024];
        int n = MultiByteToWideChar(page, narrowFlags(page), text.c_str(), static_cast<int>(length + 1),
                                    buffer, 1024);
        if (n == 0) return u"VTRSConv_ERROR3";
        return std::u16string(reinterpret_cast<const char16_t*>(buffer));
    }
    std::vector<wchar_t> buffer(roundUp16(length + 2));
    int n = MultiByteToWideChar(page, narrowFlags(page), text.c_str(), static_cast<int>(length + 1),
                                buffer.data(), static_cast<int>(buffer.size()));
    if (n == 0) return u"VTRSConv_ERROR4";
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

bool tryNarrowToWide(const std::string& text, std::u16string& out, int codePage) {
    out.clear();
    size_t length = text.find('\0');
    if (length == std::string::npos) length = text.size();
    if (length == 0) return true;
    if (length > 0x7FFFFFFF) return false;
    const UINT page = codePageFor(codePage);
    const int n = MultiByteToWideChar(page, narrowFlags(page), text.data(), static_cast<int>(length), nullptr, 0);
    if (n <= 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(n));
    if (MultiByteToWideChar(page, narrowFlags(page), text.data(), static_cast<int>(length), buffer.data(), n) != n)
        return false;
    out.assign(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
    return true;
}

bool tryWideToNarrow(const std::u16string& text, std::string& out, int codePage) {
    out.clear();
    size_t length = text.find(u'\0');
    if (length == std::u16string::npos) length = text.size();
    if (length == 0) return true;
    if (length > 0x7FFFFFFF) return false;
    const UINT page = codePageFor(codePage);
    const auto* in = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(page, wideFlags(page), in, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    std::vector<char> buffer(static_cast<size_t>(n));
    if (WideCharToMultiByte(page, wideFlags(page), in, static_cast<int>(length), buffer.data(), n, nullptr, nullptr) != n)
        return false;
    out.assign(buffer.data(), buffer.size());
    return true;
}

std::u16string narrowToWide(const char* text, int codePage) {
    if (!text) return {};
    return narrowToWide(std::string(text, std::strlen(text)), codePage);
}

} // namespace vantor
