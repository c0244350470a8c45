// The real registry backend, on a scratch key of the current user.
#include "app/Registry.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantor;

namespace {

const std::u16string kScratch = u"Software\\Vantor\\QuorvelRegistryTest";

class PlatformRegistry : public ::testing::Test {
protected:
    void SetUp() override { setRegistryStore(nullptr); }
    void TearDown() override {
        for (const char16_t* name : {u"number", u"text", u"long", u"letter"})
            registryDeleteValue(kHiveCurrentUser, kScratch, name);
    }
};

} // namespace

TEST_F(PlatformRegistry, RoundTripsLimitsAndDeletes) {
    uint32_t number = 77;
    std::u16string text = u"kept";
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, u"Software\\Vantor\\NoSuchKeyAtAll", u"x", number));
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, u"Software\\Vantor\\NoSuchKeyAtAll", u"x", text));
    EXPECT_EQ(number, 77u);
    EXPECT_EQ(text, u"kept");
    EXPECT_TRUE(registryDeleteValue(kHiveCurrentUser, u"Software\\Vantor\\NoSuchKeyAtAll", u"x"));

    ASSERT_TRUE(registryWriteDword(kHiveCurrentUser, kScratch, u"number", 0xFFFFFFFFu));
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kScratch, u"number", number));
    EXPECT_EQ(number, 0xFFFFFFFFu);

    const std::u16string name = u"Lautsprecher (Realtek\u00AE) \u266B";
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kScratch, u"text", name));
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kScratch, u"text", text));
    EXPECT_EQ(text, name);

    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kScratch, u"long", std::u16string(300, u'x')));
    text = u"kept";
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kScratch, u"long", text));
    EXPECT_EQ(text, u"kept");
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kScratch, u"long", std::u16string(259, u'y')));
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kScratch, u"long", text));
    EXPECT_EQ(text.size(), 259u);

    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kScratch, u"letter", u"A"));
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kScratch, u"letter", number));
    EXPECT_EQ(number, 0x41u) << "the stored type is not compared";

    EXPECT_TRUE(registryDeleteValue(kHiveCurrentUser, kScratch, u"number"));
    EXPECT_FALSE(registryDeleteValue(kHiveCurrentUser, kScratch, u"number"));
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, kScratch, u"number", number));
}
