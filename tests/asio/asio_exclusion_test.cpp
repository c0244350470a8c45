// Which installed ASIO drivers the enumeration leaves out: the fixed names and prefixes, and the
// names of "asioblacklist.txt" as a user (or an editor) may write the file.
#include "asio/AsioExclusion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vantor::asio::Exclusion;

TEST(AsioExclusion, FixedNamesPrefixesAndTheFilesNames) {
    EXPECT_TRUE(vantor::asio::parseExclusionList("").empty());
    EXPECT_TRUE(vantor::asio::parseExclusionList("\n \r\n\t\n").empty());
    const std::vector<std::string> listed = vantor::asio::parseExclusionList(
        "\xEF\xBB\xBFQuorvel Excluded ASIO\r\n\n  Spaced Name \t\r\nKaputt \xC3\x9C"
        "ber ASIO");
    EXPECT_EQ(listed, (std::vector<std::string>{"Quorvel Excluded ASIO", "Spaced Name",
                                                "Kaputt \xC3\x9C"
                                                "ber ASIO"}));

    const struct {
        const char* name;
        Exclusion expected;
    } cases[] = {
        {"ASIO DirectX Full Duplex Driver", Exclusion::Fixed},
        {"Generic Low Latency ASIO Driver", Exclusion::Fixed},
        {"generic low latency asio driver", Exclusion::Fixed},
        {"Samson ASIO Driver", Exclusion::Fixed},
        {"Premiere Elements Windows Sound 1.0", Exclusion::Fixed},
        {"Adobe Default Windows Sound 1.5", Exclusion::Fixed},
        {"ADOBE", Exclusion::Fixed},
        {"Quorvel Excluded ASIO", Exclusion::Listed},
        {"QUORVEL EXCLUDED ASIO", Exclusion::Listed},
        {"spaced name", Exclusion::Listed},
        {"Kaputt \xC3\x9C"
         "ber ASIO",
         Exclusion::Listed},
        {"Quorvel Excluded ASIO 2", Exclusion::None}, // whole names only
        {"Samson ASIO Driver 2", Exclusion::None},
        {"My Adobe Driver", Exclusion::None}, // prefixes only at the start
        {"ASIO4ALL v2", Exclusion::None},
        {"", Exclusion::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vantor::asio::exclusionOf(c.name, listed), c.expected) << c.name;
    EXPECT_EQ(vantor::asio::exclusionOf("Quorvel Excluded ASIO", {}), Exclusion::None);
}
