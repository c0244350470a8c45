// Windows honours the code page selector: 5 UTF-7, 11/12 ANSI, 13 OEM, anything else UTF-8.
#include "log/TextConv.h"

#include <gtest/gtest.h>

using namespace vantor;

TEST(TextConvWin32, SelectorFiveIsUtf7) {
    // The classic example: "A" NOT IDENTICAL TO, GREEK CAPITAL ALPHA, ".".
    const std::u16string wide = u"A\u2262\u0391.";
    const std::string encoded = wideToNarrow(wide, 5);
    // The encoder may close the shifted run with an explicit "-"; both forms decode the same.
    EXPECT_EQ(encoded.rfind("A+ImIDkQ", 0), 0u) << encoded;
    EXPECT_EQ(narrowToWide(encoded, 5), wide);
    EXPECT_EQ(narrowToWide(std::string("A+ImIDkQ."), 5), wide);
    EXPECT_NE(wideToNarrow(wide, 0), "A+ImIDkQ.");
}

TEST(TextConvWin32, AnsiAndOemSelectorsRoundTripPlainText) {
    for (int selector : {11, 12, 13}) {
        EXPECT_EQ(wideToNarrow(u"Device 7 (Out)", selector), "Device 7 (Out)") << selector;
        EXPECT_EQ(narrowToWide(std::string("Device 7 (Out)"), selector), u"Device 7 (Out)") << selector;
    }
}
