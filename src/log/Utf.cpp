#include "log/Utf.h"

#include <cstdint>

namespace vantor::utf {

bool utf16ToUtf8(const char16_t* in, size_t length, char* out, size_t capacity, size_t& written) {
    size_t o = 0;
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= length) return false;
            uint32_t low = in[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        size_t need = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (capacity - o < need) return false;
        switch (need) {
        case 1:
            out[o++] = static_cast<char>(c);
            break;
        case 2:
            out[o++] = static_cast<char>(0xC0 | (c >> 6));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        case 3:
            out[o++] = static_cast<char>(0xE0 | (c >> 12));
            out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        default:
            out[o++] = static_cast<char>(0xF0 | (c >> 18));
            out[o++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        }
    }
    written = o;
    return true;
}

bool utf8ToUtf16(const char* in, size_t length, char16_t* out, size_t capacity, size_t& written) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    size_t o = 0;
    for (size_t i = 0; i < length;) {
        uint32_t b = s[i];
        uint32_t c;
        size_t extra;
        uint32_t min;
        if (b < 0x80) {
            c = b, extra = 0, min = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F, extra = 1, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F, extra = 2, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07, extra = 3, min = 0x10000;
        } else {
            return false; // continuation byte, C0/C1 overlong lead, or F5..FF
        }
        if (length - i - 1 < extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            uint32_t cont = s[i + k];
            if ((cont & 0xC0) != 0x80) return false;
            c = (c << 6) | (cont & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += extra + 1;
        if (c >= 0x10000) {
            if (capacity - o < 2) return false;
            c -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            if (capacity - o < 1) return false;
            out[o++] = static_cast<char16_t>(c);
        }
    }
    written = o;
    return true;
}

} // namespace vantor::utf
