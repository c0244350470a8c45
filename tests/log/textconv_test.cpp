// UTF-16 <-> UTF-8 conversions: round trips, the fixed-buffer / allocated-buffer boundary at 1023
// units, invalid input giving the failure markers, and truncation at the first NUL.
#include "log/TextConv.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;

namespace {

std::u16string repeat(const std::u16string& unit, size_t times) {
    std::u16string s;
    for (size_t i = 0; i < times; ++i)
        s += unit;
    return s;
}

std::string repeat(const std::string& unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i)
        s += unit;
    return s;
}

} // namespace

TEST(TextConv, RoundTripsEveryPlane) {
    const std::u16string wide = u"Gr\u00f6\u00dfe \u97f3 \U0001F600 A\u00e9\uffff";
    const std::string narrow = "Gr\xc3\xb6\xc3\x9f"
                               "e \xe9\x9f\xb3 \xf0\x9f\x98\x80 A\xc3\xa9\xef\xbf\xbf";
    EXPECT_EQ(wideToNarrow(wide), narrow);
    EXPECT_EQ(narrowToWide(narrow), wide);
    EXPECT_EQ(narrowToWide(narrow.c_str()), wide);
}

TEST(TextConv, EmptyNullAndEmbeddedNul) {
    EXPECT_EQ(wideToNarrow(u""), "");
    EXPECT_EQ(narrowToWide(std::string()), u"");
    EXPECT_EQ(narrowToWide(static_cast<const char*>(nullptr)), u"");
    EXPECT_EQ(narrowToWide(""), u"");
    // Text ends at its first NUL.
    EXPECT_EQ(wideToNarrow(std::u16string(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(narrowToWide(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(wideToNarrow(std::u16string(u"\0cd", 3)), "");
}

TEST(TextConv, OtherSelectorsAreUtf8) {
    const std::u16string wide = u"\u00e9\u97f3";
    for (int selector : {0, 1, 2, 65001, -1})
        EXPECT_EQ(wideToNarrow(wide, selector), "\xc3\xa9\xe9\x9f\xb3") << selector;
}

TEST(TextConv, WideBoundaryGivesTheSameTextEitherSide) {
    for (const std::u16string& unit : {std::u16string(u"a"), std::u16string(u"\u97f3")}) {
        for (size_t length : {1022u, 1023u, 1024u, 1025u, 5000u}) {
            std::u16string wide = repeat(unit, length);
            std::string narrow = wideToNarrow(wide);
            ASSERT_EQ(narrow.size(), length * (unit == u"a" ? 1 : 3)) << length;
            EXPECT_EQ(narrowToWide(narrow), wide) << length;
        }
    }
    // A surrogate pair split by the boundary (units 1023 and 1024) still converts.
    std::u16string wide = repeat(u"a", 1022) + u"\U0001F600";
    EXPECT_EQ(wideToNarrow(wide), repeat("a", 1022) + "\xf0\x9f\x98\x80");
}

TEST(TextConv, NarrowBoundaryGivesTheSameTextEitherSide) {
    for (size_t length : {1022u, 1023u, 1024u, 1025u, 9000u}) {
        std::string narrow = repeat("z", length);
        std::u16string wide = narrowToWide(narrow);
        ASSERT_EQ(wide.size(), length);
        EXPECT_EQ(wide, repeat(u"z", length));
        EXPECT_EQ(wideToNarrow(wide), narrow);
    }
    // Multi-byte characters straddling 1023/1024 bytes.
    std::string narrow = repeat("\xe9\x9f\xb3", 341) + "\xc3\xa9"; // 1023 + 2 bytes
    EXPECT_EQ(narrowToWide(narrow), repeat(u"\u97f3", 341) + u"\u00e9");
}

TEST(TextConv, InvalidNarrowInputGivesTheMarkers) {
    const char* invalid[] = {
        "\xff",             // never valid
        "\x80",             // stray continuation byte
        "\xc0\xaf",         // overlong '/'
        "\xe0\x80\xaf",     // overlong, three bytes
        "\xed\xa0\x80",     // an encoded surrogate
        "\xf4\x90\x80\x80", // above U+10FFFF
        "\xe4\xb8",         // cut short
        "ok\xe4\xb8z",      // cut short inside the text
    };
    for (const char* text : invalid) {
        EXPECT_EQ(narrowToWide(std::string(text)), u"VTRSConv_ERROR3") << text;
        EXPECT_EQ(narrowToWide(repeat("x", 1023) + text), u"VTRSConv_ERROR4") << text;
    }
    // The fixed buffer ends at 1023 bytes: one byte more moves to the allocated one.
    EXPECT_EQ(narrowToWide(repeat("x", 1022) + "\xff"), u"VTRSConv_ERROR3");
    EXPECT_EQ(narrowToWide(repeat("x", 1023) + "\xff"), u"VTRSConv_ERROR4");
}

TEST(TextConv, UnpairedSurrogatesGiveTheMarkers) {
    EXPECT_EQ(wideToNarrow(u"a\xd800"), "VTRSConv_ERROR1");
    EXPECT_EQ(wideToNarrow(u"\xdc00z"), "VTRSConv_ERROR1");
    EXPECT_EQ(wideToNarrow(u"\xd800\xd800"), "VTRSConv_ERROR1");
    EXPECT_EQ(wideToNarrow(repeat(u"a", 1022) + u"\xd800"), "VTRSConv_ERROR1");
    EXPECT_EQ(wideToNarrow(repeat(u"a", 1023) + u"\xd800"), "VTRSConv_ERROR2");
    EXPECT_EQ(wideToNarrow(repeat(u"a", 3000) + u"\xdfff" + u"b"), "VTRSConv_ERROR2");
}

// What turns into a file operation is converted strictly: invalid text is reported, never
// replaced by a marker that would then be opened as a file.
TEST(TextConv, CheckedConversionsReportInvalidTextInsteadOfAMarker) {
    struct Narrow {
        std::string in;
        bool ok;
        std::u16string out;
    };
    const std::string cp1252 = "C:\\Users\\Jos\xe9\\take.wav"; // "é" as the single byte 0xE9
    for (const Narrow& c : std::vector<Narrow>{
             {"C:\\Users\\Jos\xc3\xa9\\take.wav", true, u"C:\\Users\\Jos\u00e9\\take.wav"},
             {cp1252, false, u""},
             {"\xc3", false, u""},               // truncated sequence
             {"\xc0\xaf", false, u""},           // overlong "/"
             {"\xed\xa0\x80", false, u""},       // encoded surrogate
             {"", true, u""},
             {std::string("a\0\xff", 3), true, u"a"}, // ends at the NUL, like the plain form
             {repeat("\xc3\xa9", 1500), true, repeat(u"\u00e9", 1500)}}) {
        std::u16string out = u"stale";
        EXPECT_EQ(tryNarrowToWide(c.in, out), c.ok) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
    EXPECT_EQ(narrowToWide(cp1252), u"VTRSConv_ERROR3") << "the log form keeps its marker";

    std::string narrow = "stale";
    EXPECT_TRUE(tryWideToNarrow(u"Jos\u00e9 \U0001F600", narrow));
    EXPECT_EQ(narrow, "Jos\xc3\xa9 \xf0\x9f\x98\x80");
    const std::u16string lone(1, static_cast<char16_t>(0xD800));
    EXPECT_FALSE(tryWideToNarrow(u"take" + lone + u".wav", narrow));
    EXPECT_TRUE(narrow.empty());
}
