// PNG decoding into the 32-bit layout of a bottom-up Windows DIB (blue, green, red, alpha,
// premultiplied; the image's first row is the last row in memory). Portable: the bitmap class
// copies the result into its DIB, and the decoding is tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantor::VTR {

// Images wider or taller than this are refused (a hostile header must not make us allocate
// gigabytes).
inline constexpr uint32_t kLargestPngSide = 16384;
// Nor may an image hold more pixels than this (16 MiB decoded, as much again for a bitmap copy): the
// program loads 22 px icons, and a small file declaring a huge image of one colour compresses
// well enough to pass every other check.
inline constexpr uint64_t kLargestPngPixels = uint64_t(2048) * 2048;

// Encoded bytes being read: the decoder advances the position.
struct MemoryBuffer {
    size_t position = 0;
    size_t size = 0;
    const uint8_t* data = nullptr;
};

struct DecodedImage {
    int width = 0;
    int height = 0;
    // width * height * 4 bytes, bottom-up rows; null while nothing is decoded.
    std::unique_ptr<uint8_t[]> pixels;

    size_t pixelCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    // The pixel at column x of image row y (0 = top), as stored.
    const uint8_t* pixel(int x, int y) const {
        return pixels.get() + 4 * (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + x);
    }
};

// Decodes every colour type and bit depth (palette, grey, grey with alpha, RGB, RGBA; 1 to 16
// bits; interlaced or not; tRNS turned into alpha). True with `image` filled; false on any
// decoding error, truncated data, a width or height of 0 or above kLargestPngSide, or more than
// kLargestPngPixels pixels (refused before anything is allocated for them), with
// `image` left empty and the reason in `error`.
bool decodePng(MemoryBuffer& buffer, DecodedImage& image, std::string& error);

} // namespace vantor::VTR
