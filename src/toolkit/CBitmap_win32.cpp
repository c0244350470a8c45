// CBitmap on Win32: the decoded PNG in a 32-bit DIB section, drawn with AlphaBlend.
#include "toolkit/CBitmap.h"

#include "log/Log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <windows.h>

namespace vantor::VTR {

namespace {

HBITMAP bitmapOf(void* handle) {
    return static_cast<HBITMAP>(handle);
}

std::string utf8(const std::u16string& text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(length > 0 ? length - 1 : 0, '\0');
    if (length > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), length, nullptr, nullptr);
    return out;
}

std::u16string wide(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::u16string out(length > 0 ? length - 1 : 0, u'\0');
    if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, reinterpret_cast<wchar_t*>(out.data()), length);
    return out;
}

} // namespace

CBitmap::CBitmap(const std::u16string& path) {
    loadFile(path);
}

CBitmap::~CBitmap() {
    unload();
}

void CBitmap::unload() {
    if (pixels_) DeleteObject(bitmapOf(pixels_));
    if (mask_) DeleteObject(bitmapOf(mask_));
    pixels_ = mask_ = nullptr;
    bits_ = nullptr;
    width_ = height_ = 0;
    transparentMode_ = false;
}

bool CBitmap::loadPNG(MemoryBuffer& buffer) {
    unload();
    DecodedImage image;
    std::string error;
    if (!decodePng(buffer, image, error)) {
        logError("CBitmap: the PNG image cannot be decoded: ", error);
        return false;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = image.height; // positive: rows bottom-up, as decoded
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        if (dib) DeleteObject(dib);
        logError("CBitmap: no ", image.width, " x ", image.height, " bitmap can be created (error ", GetLastError(), ")");
        return false;
    }
    std::memcpy(bits, image.pixels.get(), image.pixelCount() * 4);
    pixels_ = dib;
    bits_ = static_cast<uint8_t*>(bits);
    width_ = image.width;
    height_ = image.height;
    return true;
}

bool CBitmap::loadFile(const std::u16string& path) {
    unload();
    FILE* file = _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"rb");
    if (!file) {
        logError("CBitmap: the image file ", utf8(path), " cannot be opened");
        return false;
    }
    std::vector<uint8_t> bytes;
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    bool complete = false;
    if (size >= 0 && fseek(file, 0, SEEK_SET) == 0) {
        bytes.resize(static_cast<size_t>(size));
        complete = fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    fclose(file);
    if (!complete) {
        logError("CBitmap: the image file ", utf8(path), " cannot be read");
        return false;
    }
    MemoryBuffer buffer{0, bytes.size(), bytes.data()};
    if (loadPNG(buffer)) return true;
    logError("CBitmap: ", utf8(path), " is not a usable PNG image");
    return false;
}

bool CBitmap::loadFile(const char* path) {
    return loadFile(wide(path ? path : ""));
}

void CBitmap::blendColour(ColourBytes colour, double factor) {
    if (!bits_) return;
    GdiFlush();
    blendTowards(bits_, static_cast<size_t>(width_) * height_, colour, factor);
}

void CBitmap::offsetColour(ColourBytes colour) {
    if (!bits_) return;
    GdiFlush();
    offsetChannels(bits_, static_cast<size_t>(width_) * height_, colour);
}

void CBitmap::draw(void* deviceContext, const VRect& destination, const VPoint& source) {
    if (!transparentMode_) {
        drawAlpha(deviceContext, destination, source, 255);
        return;
    }
    if (!pixels_) return;
    HDC dc = static_cast<HDC>(deviceContext);
    const int x = static_cast<int>(destination.left), y = static_cast<int>(destination.top);
    const int w = static_cast<int>(destination.right - destination.left);
    const int h = static_cast<int>(destination.bottom - destination.top);
    const int sx = static_cast<int>(source.x), sy = static_cast<int>(source.y);
    HDC source_dc = CreateCompatibleDC(dc);
    HGDIOBJ oldSource = SelectObject(source_dc, bitmapOf(pixels_));
    if (mask_) {
        // Destination XOR image, AND mask, XOR image again: the image where the mask is 0.
        HDC work = CreateCompatibleDC(dc);
        HBITMAP offscreen = CreateCompatibleBitmap(dc, w, h);
        HGDIOBJ oldWork = SelectObject(work, offscreen);
        HDC maskDc = CreateCompatibleDC(dc);
        HGDIOBJ oldMask = SelectObject(maskDc, bitmapOf(mask_));
        BitBlt(work, 0, 0, w, h, dc, x, y, SRCCOPY);
        BitBlt(work, 0, 0, w, h, source_dc, sx, sy, SRCINVERT);
        BitBlt(work, 0, 0, w, h, maskDc, sx, sy, SRCAND);
        BitBlt(work, 0, 0, w, h, source_dc, sx, sy, SRCINVERT);
        BitBlt(dc, x, y, w, h, work, 0, 0, SRCCOPY);
        SelectObject(maskDc, oldMask);
        DeleteDC(maskDc);
        SelectObject(work, oldWork);
        DeleteObject(offscreen);
        DeleteDC(work);
    } else {
        TransparentBlt(dc, x, y, w, h, source_dc, sx, sy, w, h, RGB(transparent_.red, transparent_.green, transparent_.blue));
    }
    SelectObject(source_dc, oldSource);
    DeleteDC(source_dc);
}

void CBitmap::drawAlpha(void* deviceContext, const VRect& destination, const VPoint& source, uint8_t alpha) {
    if (!pixels_) return;
    const int sx = static_cast<int>(source.x), sy = static_cast<int>(source.y);
    // AlphaBlend refuses a source area outside the bitmap: draw what there is.
    const int w = std::min(static_cast<int>(destination.right - destination.left), width_ - sx);
    const int h = std::min(static_cast<int>(destination.bottom - destination.top), height_ - sy);
    if (w <= 0 || h <= 0 || sx < 0 || sy < 0) return;
    HDC dc = static_cast<HDC>(deviceContext);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmapOf(pixels_));
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, static_cast<BYTE>(transparentMode_ ? 0 : AC_SRC_ALPHA)};
    AlphaBlend(dc, static_cast<int>(destination.left), static_cast<int>(destination.top), w, h, memory, sx, sy, w, h,
               blend);
    SelectObject(memory, old);
    DeleteDC(memory);
}

} // namespace vantor::VTR
