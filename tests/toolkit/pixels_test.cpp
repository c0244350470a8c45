#include "toolkit/Pixels.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vantor::VTR {
namespace {

using Bgra = std::array<uint8_t, 4>;

Bgra bgra(int r, int g, int b, int a) {
    return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), static_cast<uint8_t>(a)};
}

enum class Operation { Premultiply, DisabledBlend, PressedOffset };

struct PixelCase {
    const char* what;
    Operation operation;
    Bgra before;
    Bgra after;
};

// Each operation applied to one pixel of a three-pixel row (the neighbours must stay as they are).
TEST(Pixels, OperationsGiveTheExpectedValues) {
    const PixelCase cases[] = {
        {"premultiplied: (a * c) >> 8", Operation::Premultiply, bgra(200, 100, 10, 128), bgra(100, 50, 5, 128)},
        {"premultiplied opaque loses the top step", Operation::Premultiply, bgra(255, 1, 0, 255), bgra(254, 0, 0, 255)},
        {"premultiplied alpha 0 is all zero", Operation::Premultiply, bgra(255, 90, 7, 0), bgra(0, 0, 0, 0)},
        {"disabled blend of an opaque orange", Operation::DisabledBlend, bgra(200, 100, 0, 255), bgra(145, 120, 95, 159)},
        {"disabled blend of a transparent pixel is a translucent grey", Operation::DisabledBlend, bgra(0, 0, 0, 0),
         bgra(95, 95, 95, 95)},
        {"pressed offset: alpha + 32, colours - 25 then premultiplied", Operation::PressedOffset,
         bgra(100, 100, 100, 200), bgra(67, 67, 67, 232)},
        {"pressed offset clamps colours at 0", Operation::PressedOffset, bgra(10, 0, 30, 255), bgra(0, 0, 4, 255)},
        {"pressed offset clamps alpha at 255", Operation::PressedOffset, bgra(255, 255, 255, 250),
         bgra(229, 229, 229, 255)},
        {"pressed offset of a transparent pixel", Operation::PressedOffset, bgra(0, 0, 0, 0), bgra(0, 0, 0, 32)},
    };
    const Bgra neighbour = bgra(1, 2, 3, 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> row;
        for (const Bgra& p : {neighbour, c.before, neighbour}) row.insert(row.end(), p.begin(), p.end());
        uint8_t* middle = row.data() + 4;
        switch (c.operation) {
        case Operation::Premultiply: premultiply(middle, 1); break;
        case Operation::DisabledBlend: blendTowards(middle, 1, kDisabledBlendColour, kDisabledBlendFactor); break;
        case Operation::PressedOffset: offsetChannels(middle, 1, unpackColour(kPressedOffsetColour)); break;
        }
        EXPECT_EQ((Bgra{middle[0], middle[1], middle[2], middle[3]}), c.after);
        EXPECT_EQ((Bgra{row[0], row[1], row[2], row[3]}), neighbour);
        EXPECT_EQ((Bgra{row[8], row[9], row[10], row[11]}), neighbour);
    }
}

TEST(Pixels, PressedColourUnpacksToItsOffsets) {
    const ColourBytes pressed = unpackColour(kPressedOffsetColour);
    EXPECT_EQ(pressed.red, 0x66);
    EXPECT_EQ(pressed.green, 0x66);
    EXPECT_EQ(pressed.blue, 0x66);
    EXPECT_EQ(pressed.alpha, 0x9F);
    // A pixel whose alpha an offset takes to 0 becomes all zero, whatever its colours.
    std::vector<uint8_t> pixel = {200, 200, 200, 20};
    offsetChannels(pixel.data(), 1, ColourBytes{255, 255, 255, 0});
    EXPECT_EQ(pixel, (std::vector<uint8_t>{0, 0, 0, 0}));
    // A blend towards a transparent colour all the way leaves nothing.
    pixel = {200, 100, 50, 255};
    blendTowards(pixel.data(), 1, ColourBytes{9, 9, 9, 0}, 1.0);
    EXPECT_EQ(pixel, (std::vector<uint8_t>{0, 0, 0, 0}));
}

} // namespace
} // namespace vantor::VTR
