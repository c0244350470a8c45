#include "toolkit/Pixels.h"

#include <algorithm>

namespace vantor::VTR {

void premultiply(uint8_t* pixels, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i) {
        uint8_t* p = pixels + 4 * i;
        const unsigned a = p[kAlpha];
        if (a == 0) {
            p[kBlue] = p[kGreen] = p[kRed] = 0;
            continue;
        }
        for (int c : {kBlue, kGreen, kRed}) p[c] = static_cast<uint8_t>((a * p[c]) >> 8);
    }
}

void blendTowards(uint8_t* pixels, size_t pixelCount, ColourBytes colour, double factor) {
    const double keep = 1.0 - factor;
    const double target[4] = {colour.blue * factor, colour.green * factor, colour.red * factor,
                              colour.alpha * factor};
    for (size_t i = 0; i < pixelCount; ++i) {
        uint8_t* p = pixels + 4 * i;
        const int alpha = static_cast<int>(p[kAlpha] * keep + target[kAlpha]);
        if (alpha <= 0) {
            p[kBlue] = p[kGreen] = p[kRed] = p[kAlpha] = 0;
            continue;
        }
        for (int c : {kBlue, kGreen, kRed})
            p[c] = static_cast<uint8_t>(std::clamp(static_cast<int>(p[c] * keep + target[c]), 0, 255));
        p[kAlpha] = static_cast<uint8_t>(std::min(alpha, 255));
    }
}

void offsetChannels(uint8_t* pixels, size_t pixelCount, ColourBytes colour) {
    auto offsetOf = [](uint8_t byte) { return std::min(byte - 127, 127); };
    const int offset[4] = {offsetOf(colour.blue), offsetOf(colour.green), offsetOf(colour.red),
                           offsetOf(colour.alpha)};
    for (size_t i = 0; i < pixelCount; ++i) {
        uint8_t* p = pixels + 4 * i;
        const int alpha = std::clamp(p[kAlpha] + offset[kAlpha], 0, 255);
        if (alpha == 0) {
            p[kBlue] = p[kGreen] = p[kRed] = p[kAlpha] = 0;
            continue;
        }
        for (int c : {kBlue, kGreen, kRed})
            p[c] = static_cast<uint8_t>((std::clamp(p[c] + offset[c], 0, 255) * alpha) >> 8);
        p[kAlpha] = static_cast<uint8_t>(alpha);
    }
}

} // namespace vantor::VTR
