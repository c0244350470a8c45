// POSIX has no ANSI, OEM or UTF-7 code pages: every selector converts as UTF-8.
#include "log/TextConv.h"

#include <gtest/gtest.h>

using namespace vantor;

TEST(TextConvPosix, EverySelectorIsUtf8) {
    const std::u16string wide = u"A\u2262\u0391.";
    const std::string narrow = "A\xe2\x89\xa2\xce\x91.";
    for (int selector : {0, 5, 11, 12, 13}) {
        EXPECT_EQ(wideToNarrow(wide, selector), narrow) << selector;
        EXPECT_EQ(narrowToWide(narrow, selector), wide) << selector;
        EXPECT_EQ(narrowToWide(std::string("\xff"), selector), u"VTRSConv_ERROR3") << selector;
    }
}
