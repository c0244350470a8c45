// Who may sign the engine component: exactly the publisher the build's certificate names
// (scripts/sign-engine.sh makes "/CN=Vantor/O=Vantor"), not any subject that mentions it.
#include "bridge/CodeSignature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantor;

TEST(CodeSignature, OnlyThePublisherItselfSignsTheEngine) {
    struct Subject {
        std::string commonName;
        std::string organisation;
        bool accepted;
    };
    for (const Subject& s : std::vector<Subject>{
             {"Vantor", "Vantor", true},
             {"Evil Vantor Fans Ltd", "Evil Vantor Fans Ltd", false},
             {"Vantor", "Evil Vantor Fans Ltd", false},
             {"Evil Vantor Fans Ltd", "Vantor", false},
             {"Vantor Code Signing", "Vantor", false},
             {"vantor", "vantor", false},
             {"Vantor ", "Vantor", false},
             {"", "Vantor", false},
             {"Vantor", "", false},
             {"Vantorx", "Vantorx", false},
         })
        EXPECT_EQ(isEnginePublisher(s.commonName, s.organisation), s.accepted)
            << "CN=" << s.commonName << " O=" << s.organisation;
}
