// Test images written with libpng's own write interface: one small image per colour type, bit
// depth, interlacing and transparency, with the straight RGBA value every pixel must decode to.
// Header-only so that the native tests, the Windows tests and the fuzz seed writer share it.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace vantor::test {

struct PngKind {
    int colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    int bitDepth = 8;
    bool interlaced = false;
    bool transparency = false; // a tRNS chunk
    uint32_t width = 7;
    uint32_t height = 5;
};

struct PngSample {
    std::vector<uint8_t> bytes;
    // Straight (not premultiplied) red, green, blue, alpha per pixel, rows top-down.
    std::vector<std::array<uint8_t, 4>> expected;
};

inline std::string describe(const PngKind& kind) {
    return "type " + std::to_string(kind.colourType) + ", " + std::to_string(kind.bitDepth) + " bits" +
           (kind.interlaced ? ", interlaced" : "") + (kind.transparency ? ", tRNS" : "");
}

// Colour types and bit depths a PNG may combine, each with and without interlacing, and with a
// tRNS chunk where the type allows one.
inline std::vector<PngKind> everyPngKind() {
    const std::vector<std::pair<int, std::vector<int>>> depths = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_RGB, {8, 16}},
        {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},  {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}}};
    std::vector<PngKind> kinds;
    for (const auto& [type, list] : depths)
        for (int depth : list)
            for (bool interlaced : {false, true})
                for (bool trns : {false, true}) {
                    if (trns && (type & PNG_COLOR_MASK_ALPHA)) continue;
                    kinds.push_back({type, depth, interlaced, trns, 11, 9});
                }
    return kinds;
}

namespace png_samples_detail {
inline void writeToVector(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
inline void flushNothing(png_structp) {}
// Packs sample values of `depth` bits into a PNG row (most significant bits first, 16-bit
// samples big-endian).
inline void putSample(std::vector<uint8_t>& row, size_t index, int depth, unsigned value) {
    if (depth == 16) {
        row[2 * index] = static_cast<uint8_t>(value >> 8);
        row[2 * index + 1] = static_cast<uint8_t>(value);
    } else if (depth == 8) {
        row[index] = static_cast<uint8_t>(value);
    } else {
        const size_t bit = index * depth;
        row[bit / 8] |= static_cast<uint8_t>(value << (8 - depth - bit % 8));
    }
}
} // namespace png_samples_detail

inline PngSample makePng(const PngKind& kind) {
    using namespace png_samples_detail;
    PngSample sample;
    const int depth = kind.bitDepth;
    const unsigned top = depth == 16 ? 255u : (1u << depth) - 1; // largest 8-bit-or-less value
    const int channels = kind.colourType == PNG_COLOR_TYPE_GRAY || kind.colourType == PNG_COLOR_TYPE_PALETTE ? 1
                         : kind.colourType == PNG_COLOR_TYPE_GRAY_ALPHA                                      ? 2
                         : kind.colourType == PNG_COLOR_TYPE_RGB                                             ? 3
                                                                                                             : 4;
    // A value for (x, y, channel) in 0..top; 16-bit samples repeat the byte (b * 257) so that any
    // reduction to 8 bits gives b back.
    auto value = [&](uint32_t x, uint32_t y, int c) { return (x * 37u + y * 91u + c * 53u + x * y) % (top + 1); };
    auto wide = [&](unsigned v) { return depth == 16 ? v * 257u : v; };
    auto to8 = [&](unsigned v) { return static_cast<uint8_t>(v * 255u / top); };

    // Palette: as many entries as the depth can index, with varied alpha in tRNS (last opaque).
    std::vector<png_color> palette;
    std::vector<uint8_t> paletteAlpha;
    if (kind.colourType == PNG_COLOR_TYPE_PALETTE) {
        const unsigned entries = 1u << depth;
        for (unsigned i = 0; i < entries; ++i) {
            palette.push_back({static_cast<png_byte>(i * 29 + 3), static_cast<png_byte>(255 - i * 7),
                               static_cast<png_byte>(i * 13 + 100)});
            paletteAlpha.push_back(static_cast<uint8_t>(i * 47 + 11));
        }
        paletteAlpha.back() = 255;
    }
    // The transparent grey or colour of a tRNS chunk: the value of the top-left pixel.
    png_color_16 transparent{};
    transparent.gray = static_cast<png_uint_16>(wide(value(0, 0, 0)));
    transparent.red = static_cast<png_uint_16>(wide(value(0, 0, 0)));
    transparent.green = static_cast<png_uint_16>(wide(value(0, 0, 1)));
    transparent.blue = static_cast<png_uint_16>(wide(value(0, 0, 2)));

    std::vector<std::vector<uint8_t>> rows;
    const size_t rowBytes = (static_cast<size_t>(kind.width) * channels * depth + 7) / 8;
    for (uint32_t y = 0; y < kind.height; ++y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (uint32_t x = 0; x < kind.width; ++x) {
            std::array<uint8_t, 4> rgba{0, 0, 0, 255};
            unsigned v[4] = {};
            for (int c = 0; c < channels; ++c) {
                v[c] = value(x, y, c);
                putSample(row, static_cast<size_t>(x) * channels + c, depth, wide(v[c]));
            }
            switch (kind.colourType) {
            case PNG_COLOR_TYPE_GRAY:
                rgba = {to8(v[0]), to8(v[0]), to8(v[0]), 255};
                if (kind.transparency && v[0] == value(0, 0, 0)) rgba[3] = 0;
                break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                rgba = {to8(v[0]), to8(v[0]), to8(v[0]), to8(v[1])};
                break;
            case PNG_COLOR_TYPE_RGB:
                rgba = {to8(v[0]), to8(v[1]), to8(v[2]), 255};
                if (kind.transparency && v[0] == value(0, 0, 0) && v[1] == value(0, 0, 1) &&
                    v[2] == value(0, 0, 2))
                    rgba[3] = 0;
                break;
            case PNG_COLOR_TYPE_RGB_ALPHA:
                rgba = {to8(v[0]), to8(v[1]), to8(v[2]), to8(v[3])};
                break;
            case PNG_COLOR_TYPE_PALETTE: {
                const png_color& entry = palette[v[0]];
                rgba = {entry.red, entry.green, entry.blue,
                        static_cast<uint8_t>(kind.transparency ? paletteAlpha[v[0]] : 255)};
                break;
            }
            }
            sample.expected.push_back(rgba);
        }
        rows.push_back(std::move(row));
    }

    // No error recovery point: libpng aborts the test program if it cannot write a sample.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    {
        png_set_write_fn(png, &sample.bytes, writeToVector, flushNothing);
        png_set_IHDR(png, info, kind.width, kind.height, depth, kind.colourType,
                     kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        if (kind.transparency) {
            if (kind.colourType == PNG_COLOR_TYPE_PALETTE)
                png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), nullptr);
            else
                png_set_tRNS(png, info, nullptr, 0, &transparent);
        }
        png_write_info(png, info);
        std::vector<png_bytep> pointers;
        for (auto& row : rows) pointers.push_back(row.data());
        png_write_image(png, pointers.data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return sample;
}

// Rewrites the IHDR width and height of an encoded PNG in place, with a matching CRC, to make
// headers libpng's writer would refuse.
inline void patchHeaderSize(std::vector<uint8_t>& bytes, uint32_t width, uint32_t height) {
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    // Signature (8), length (4), "IHDR" (4), then width and height; the CRC follows the 13 data bytes.
    put32(16, width);
    put32(20, height);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data() + 12, 17);
    put32(29, static_cast<uint32_t>(crc));
}

} // namespace vantor::test
