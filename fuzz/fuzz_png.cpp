// libFuzzer target: the toolkit's PNG decoder over arbitrary bytes. A decoded image must have a
// size within the limits and premultiplied pixels; anything else must be refused with a reason.
#include "toolkit/PngDecoder.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantor::VTR;
    MemoryBuffer buffer{0, size, data};
    DecodedImage image;
    std::string error;
    if (decodePng(buffer, image, error)) {
        if (image.width <= 0 || image.height <= 0 || image.width > static_cast<int>(kLargestPngSide) ||
            image.height > static_cast<int>(kLargestPngSide) || image.pixelCount() > kLargestPngPixels ||
            !image.pixels)
            std::abort();
        for (size_t i = 0; i < image.pixelCount(); ++i) {
            const uint8_t* p = image.pixels.get() + 4 * i;
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) std::abort();
        }
        if (buffer.position > size) std::abort();
    } else if (error.empty() || image.pixels) {
        std::abort();
    }
    return 0;
}
