// Pixel arithmetic on 32-bit images laid out as a Windows DIB stores them: one pixel is four bytes
// blue, green, red, alpha, with the colours premultiplied by alpha. Portable, so it is tested
// without a window system; the bitmap class applies it to its DIB's bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::VTR {

// A colour given as four bytes.
struct ColourBytes {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
};

// A packed colour: red in the lowest byte, then green, blue, and alpha in the highest.
constexpr ColourBytes unpackColour(uint32_t packed) {
    return {static_cast<uint8_t>(packed & 0xFF), static_cast<uint8_t>((packed >> 8) & 0xFF),
            static_cast<uint8_t>((packed >> 16) & 0xFF), static_cast<uint8_t>(packed >> 24)};
}

// Byte offsets inside one pixel.
inline constexpr int kBlue = 0, kGreen = 1, kRed = 2, kAlpha = 3;

// Straight alpha to premultiplied: each colour byte c of a pixel with alpha a > 0 becomes
// (a * c) >> 8; a pixel with alpha 0 becomes all zero.
void premultiply(uint8_t* pixels, size_t pixelCount);

// Moves every pixel `factor` (0..1) of the way towards `colour`, alpha included; a pixel whose
// new alpha is 0 becomes all zero. Values are truncated.
void blendTowards(uint8_t* pixels, size_t pixelCount, ColourBytes colour, double factor);

// Adds per-channel offsets (each byte of `colour` minus 127, at most 127) to every pixel: alpha
// first, clamped to 0..255 (0 makes the pixel all zero), then each colour channel, clamped and
// premultiplied again by the new alpha ((c * a) >> 8).
void offsetChannels(uint8_t* pixels, size_t pixelCount, ColourBytes colour);

// The button looks derived from its normal image: grey and translucent when disabled, darker and
// more opaque when pressed.
inline constexpr ColourBytes kDisabledBlendColour{127, 127, 127, 127};
inline constexpr double kDisabledBlendFactor = 0.75;
inline constexpr uint32_t kPressedOffsetColour = 0x9F666666;

} // namespace vantor::VTR
