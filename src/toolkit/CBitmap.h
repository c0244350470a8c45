// A PNG image held as a 32-bit premultiplied DIB and drawn with per-pixel alpha (Win32 only,
// CBitmap_win32.cpp; the decoding and the pixel arithmetic are the portable PngDecoder and
// Pixels). CBaseObject gives it a reference count.
#pragma once

#include "toolkit/DrawContext.h"
#include "toolkit/Pixels.h"
#include "toolkit/PngDecoder.h"

#include <cstdint>
#include <string>

namespace vantor::VTR {

class CBaseObject {
public:
    CBaseObject() = default;
    virtual ~CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    // Deletes the object when the count goes from 1 to 0.
    virtual void release() {
        if (--referenceCount_ == 0) delete this;
    }
    virtual void retain() { ++referenceCount_; }
    int32_t referenceCount() const { return referenceCount_; }

private:
    int32_t referenceCount_ = 1;
};

class CBitmap : public CBaseObject {
public:
    CBitmap() = default;
    // Loads the file at once; a file that cannot be read or decoded leaves the bitmap empty.
    explicit CBitmap(const std::u16string& path);
    ~CBitmap() override;

    // With the transparent-colour mode off (after a PNG load): drawAlpha with 255.
    virtual void draw(void* deviceContext, const VRect& destination, const VPoint& source);
    // Alpha-blends (right - left) x (bottom - top) pixels from `source` to (left, top).
    virtual void drawAlpha(void* deviceContext, const VRect& destination, const VPoint& source, uint8_t alpha);
    // Releases the DIB and the mask; width and height 0; transparent-colour mode off.
    virtual void unload();
    // Decodes PNG bytes into a new DIB. False (and an empty bitmap, with the reason in the log)
    // on any decoding error.
    virtual bool loadPNG(MemoryBuffer& buffer);
    // UTF-8 path.
    virtual bool loadFile(const char* path);
    virtual bool loadFile(const std::u16string& path);

    // The button looks: every pixel moved `factor` towards `colour`, or offset per channel.
    void blendColour(ColourBytes colour, double factor);
    void offsetColour(ColourBytes colour);

    int width() const { return width_; }
    int height() const { return height_; }
    bool transparentColourMode() const { return transparentMode_; }
    void* pixelsHandle() const { return pixels_; }
    // The DIB's bits (bottom-up BGRA, premultiplied); null when empty.
    uint8_t* bits() const { return bits_; }

private:
    int32_t width_ = 0, height_ = 0;
    ColourBytes transparent_{255, 255, 255, 0};
    bool transparentMode_ = true;
    void* pixels_ = nullptr; // HBITMAP
    void* mask_ = nullptr;   // HBITMAP, monochrome
    uint8_t* bits_ = nullptr;
};

} // namespace vantor::VTR
