#include "toolkit/PngDecoder.h"

#include "toolkit/Pixels.h"

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include <png.h>

namespace vantor::VTR {

namespace {

// The most bytes one byte of deflate data can inflate to (258 bytes from a 2-bit code), rounded up.
constexpr uint64_t kLargestInflation = 1040;
// The largest chunk libpng may allocate for (a button image's ICC profile is far smaller).
constexpr png_alloc_size_t kLargestChunk = 8'000'000;

// Everything the decoding changes lives here, outside the frame that calls setjmp, so nothing a
// longjmp skips back over is left half-updated in registers.
struct DecodeState {
    MemoryBuffer* buffer = nullptr;
    std::string message;
    std::unique_ptr<uint8_t[]> pixels;
    std::vector<png_bytep> rows;
    uint32_t width = 0, height = 0;
};

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<DecodeState*>(png_get_error_ptr(png));
    if (state->message.empty()) state->message = message ? message : "decoding error";
    png_longjmp(png, 1);
}

// Warnings (a bad ancillary chunk, say) do not stop the image: nothing to report.
void onWarning(png_structp, png_const_charp) {}

void readFromBuffer(png_structp png, png_bytep out, size_t length) {
    auto* state = static_cast<DecodeState*>(png_get_io_ptr(png));
    MemoryBuffer& buffer = *state->buffer;
    if (buffer.position > buffer.size || length > buffer.size - buffer.position)
        png_error(png, "the PNG data end early");
    std::memcpy(out, buffer.data + buffer.position, length);
    buffer.position += length;
}

// The libpng part; returns false after a decoding error (the longjmp lands here).
bool decodeWithLibpng(png_structp png, png_infop info, DecodeState& state) {
    if (setjmp(png_jmpbuf(png))) return false;

    png_set_user_limits(png, kLargestPngSide, kLargestPngSide);
    // libpng allocates a chunk's declared length before reading it: bound what a hostile length
    // (or an ancillary chunk inflating) may take.
    png_set_chunk_malloc_max(png, kLargestChunk);
    png_set_chunk_cache_max(png, 1000);
    // libpng only warns about "benign" faults, a chunk above that bound among them, and then
    // allocates for it anyway: make them errors.
    png_set_benign_errors(png, 0);
    png_set_read_fn(png, &state, readFromBuffer);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || width > kLargestPngSide || height > kLargestPngSide)
        png_error(png, "the image size is out of range");
    if (static_cast<uint64_t>(width) * height > kLargestPngPixels)
        png_error(png, "the image has more pixels than the 4 megapixels allowed");

    // Deflate inflates at most about 1032 times: a header that declares more filtered image data
    // than the rest of the file could ever give is refused before the pixels are allocated.
    const uint64_t filteredBytes =
        static_cast<uint64_t>(height) *
        ((static_cast<uint64_t>(width) * png_get_channels(png, info) * static_cast<uint64_t>(bitDepth) + 7) / 8 + 1);
    const uint64_t remaining = state.buffer->size - state.buffer->position;
    if (filteredBytes > kLargestInflation * remaining)
        png_error(png, "the image data are too short for the declared size");

    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    else if (!(colourType & PNG_COLOR_MASK_ALPHA))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    if (bitDepth == 16) png_set_strip_16(png);
    // Every type, palette images included, ends up as red, green, blue: swap them all for the DIB.
    png_set_bgr(png);
    // The passes of an interlaced image are combined by reading the whole image at once.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
        png_error(png, "unexpected row layout after the transformations");

    const size_t rowBytes = static_cast<size_t>(width) * 4;
    state.pixels.reset(new (std::nothrow) uint8_t[rowBytes * height]);
    if (!state.pixels) png_error(png, "out of memory for the pixels");
    state.rows.resize(height);
    // The first PNG row goes to the last DIB row, so that the bottom-up DIB stands upright.
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = state.pixels.get() + rowBytes * (height - 1 - y);
    state.width = width;
    state.height = height;
    png_read_image(png, state.rows.data());
    png_read_end(png, nullptr);
    return true;
}

} // namespace

bool decodePng(MemoryBuffer& buffer, DecodedImage& image, std::string& error) {
    image = DecodedImage{};
    error.clear();
    DecodeState state;
    state.buffer = &buffer;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && decodeWithLibpng(png, info, state);
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!ok) {
        error = state.message.empty() ? std::string("libpng cannot be set up") : state.message;
        return false;
    }
    premultiply(state.pixels.get(), static_cast<size_t>(state.width) * state.height);
    image.width = static_cast<int>(state.width);
    image.height = static_cast<int>(state.height);
    image.pixels = std::move(state.pixels);
    return true;
}

} // namespace vantor::VTR
