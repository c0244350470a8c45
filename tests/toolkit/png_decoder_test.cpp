#include "toolkit/PngDecoder.h"

#include "support/FileBytes.h"
#include "toolkit/PngSamples.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantor::VTR {
namespace {

using test::PngKind;

bool decode(const std::vector<uint8_t>& bytes, DecodedImage& image, std::string& error) {
    MemoryBuffer buffer{0, bytes.size(), bytes.data()};
    return decodePng(buffer, image, error);
}

// Every colour type and bit depth, plain and interlaced, with and without tRNS: every pixel comes
// out as blue, green, red, alpha, premultiplied, the image upright in a bottom-up layout.
TEST(PngDecoder, DecodesEveryKindToPremultipliedBgra) {
    for (const PngKind& kind : test::everyPngKind()) {
        SCOPED_TRACE(test::describe(kind));
        const test::PngSample sample = test::makePng(kind);
        DecodedImage image;
        std::string error;
        ASSERT_TRUE(decode(sample.bytes, image, error)) << error;
        ASSERT_EQ(image.width, static_cast<int>(kind.width));
        ASSERT_EQ(image.height, static_cast<int>(kind.height));
        int wrong = 0;
        for (uint32_t y = 0; y < kind.height; ++y)
            for (uint32_t x = 0; x < kind.width; ++x) {
                const auto& rgba = sample.expected[y * kind.width + x];
                const unsigned a = rgba[3];
                auto pre = [&](unsigned c) { return static_cast<int>(a == 0 ? 0 : (a * c) >> 8); };
                const uint8_t* p = image.pixel(static_cast<int>(x), static_cast<int>(y));
                const bool same = p[0] == pre(rgba[2]) && p[1] == pre(rgba[1]) && p[2] == pre(rgba[0]) && p[3] == a;
                if (!same && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": got BGRA " << int(p[0]) << " " << int(p[1]) << " "
                                  << int(p[2]) << " " << int(p[3]) << ", want " << pre(rgba[2]) << " "
                                  << pre(rgba[1]) << " " << pre(rgba[0]) << " " << a;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// Truncated, damaged and hostile files are refused with a reason and leave no pixels behind.
TEST(PngDecoder, RefusesTruncatedDamagedAndHostileFiles) {
    const std::vector<uint8_t> good = test::makePng({PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false, 13, 6}).bytes;
    auto expectRefused = [](const std::vector<uint8_t>& bytes, const std::string& what) {
        SCOPED_TRACE(what);
        DecodedImage image;
        image.width = 99; // whatever was there before goes
        std::string error;
        EXPECT_FALSE(decode(bytes, image, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(image.pixels, nullptr);
        EXPECT_EQ(image.width, 0);
        EXPECT_EQ(image.height, 0);
    };
    // Every prefix of a valid file, down to nothing (the IEND chunk is required too).
    for (size_t length = 0; length < good.size(); ++length)
        expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length)),
                      "truncated to " + std::to_string(length) + " bytes");

    std::vector<uint8_t> bytes = good;
    bytes[0] = 'X';
    expectRefused(bytes, "not a PNG signature");
    bytes = good;
    bytes[good.size() / 2] ^= 0x5A;
    expectRefused(bytes, "a damaged byte inside the image data");
    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{0, 6}, {13, 0}, {16385, 1}, {1, 16385},
                                 {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000u, 1}}) {
        bytes = good;
        test::patchHeaderSize(bytes, width, height);
        expectRefused(bytes, "header size " + std::to_string(width) + " x " + std::to_string(height));
    }
    // A header declaring far more pixels than its data could ever inflate to is refused before
    // the pixels are allocated.
    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{2048, 2048}, {16384, 256}}) {
        bytes = good;
        test::patchHeaderSize(bytes, width, height);
        DecodedImage image;
        std::string error;
        EXPECT_FALSE(decode(bytes, image, error));
        EXPECT_NE(error.find("too short for"), std::string::npos) << error;
    }
    // A large declared size with too little data behind it.
    bytes = test::makePng({PNG_COLOR_TYPE_GRAY, 8, false, false, 16384, 2}).bytes;
    bytes.resize(bytes.size() - 20);
    expectRefused(bytes, "16384 x 2 cut short");
    // A position already past the end of the buffer.
    DecodedImage image;
    std::string error;
    MemoryBuffer past{good.size() + 1, good.size(), good.data()};
    EXPECT_FALSE(decodePng(past, image, error));
}

// Either side may be the largest, but not more than kLargestPngPixels pixels: a small file of one
// colour must not make the decoder allocate and fill a gigabyte.
TEST(PngDecoder, AcceptsTheLargestSideButCapsThePixels) {
    DecodedImage refused;
    std::string error;
    EXPECT_FALSE(
        decode(test::makePng({PNG_COLOR_TYPE_GRAY, 8, false, false, 2049, 2048}).bytes, refused, error));
    EXPECT_NE(error.find("pixels"), std::string::npos) << error;
    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{16384, 1}, {1, 16384}, {2048, 2048}}) {
        const auto sample = test::makePng({PNG_COLOR_TYPE_RGB, 8, false, false, width, height});
        DecodedImage image;
        std::string error;
        ASSERT_TRUE(decode(sample.bytes, image, error)) << error;
        EXPECT_EQ(image.width, static_cast<int>(width));
        EXPECT_EQ(image.height, static_cast<int>(height));
        const auto& last = sample.expected.back();
        const uint8_t* p = image.pixel(static_cast<int>(width) - 1, static_cast<int>(height) - 1);
        EXPECT_EQ(p[2], (255u * last[0]) >> 8);
        EXPECT_EQ(p[3], 255);
    }
}

// The media bar's images are the Tango icons, unchanged, and decode to 22 x 22 pictures with
// both transparent and opaque pixels.
TEST(PngDecoder, MediaBarImagesAreTheTangoIcons) {
    const std::filesystem::path data = std::filesystem::path(QUORVEL_SOURCE_DIR) / "data" / "GUI";
    const std::filesystem::path tango = "/usr/share/icons/Tango/22x22/actions";
    for (const char* name : {"media-playback-start", "media-playback-stop", "media-eject", "media-skip-backward",
                             "media-record"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = test::readFileBytes(data / (std::string(name) + "22.png"));
        ASSERT_FALSE(bytes.empty());
        if (std::filesystem::exists(tango)) {
            EXPECT_EQ(bytes, test::readFileBytes(tango / (std::string(name) + ".png")));
        }
        DecodedImage image;
        std::string error;
        ASSERT_TRUE(decode(bytes, image, error)) << error;
        EXPECT_EQ(image.width, 22);
        EXPECT_EQ(image.height, 22);
        int transparent = 0, opaque = 0;
        for (size_t i = 0; i < image.pixelCount(); ++i) {
            const uint8_t* p = image.pixels.get() + 4 * i;
            transparent += p[3] == 0;
            opaque += p[3] == 255;
            ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << "not premultiplied";
        }
        EXPECT_GT(transparent, 0);
        EXPECT_GT(opaque, 0);
    }
}

} // namespace
} // namespace vantor::VTR
