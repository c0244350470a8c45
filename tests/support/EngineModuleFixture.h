// EngineModuleFixture: a GoogleTest fixture for the engine module loader. For each test it gives
// an in-memory registry, captured message boxes (none is shown), an exit that throws instead of
// ending the test program, a log capture and a scratch folder.
//
//   class MyTest : public vantor::test::EngineModuleFixture {};
//   TEST_F(MyTest, X) {
//       install(libraryPath, dataFolder);     // base_dir, path_x64 (and the hash pin off Windows)
//       SMPLModule module;
//       EXPECT_EQ(initEndsProcess(module), 0); // or EXPECT_TRUE(module.init(nullptr, &info_))
//       boxes_.boxes(); log_.has('E', "...");
//   }
#pragma once

#include "app/Registry.h"
#include "graph/DSPInfo.h"
#include "support/BoxCapture.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vantor {
class SMPLModule;
}

namespace vantor::test {

// Thrown by the exit hook in place of ending the process.
struct ProcessExit {
    int status;
};

inline constexpr const char16_t* kProductKeyPath = u"Software\\Vantor\\Quorvel";
inline constexpr const char16_t* kEngineKeyPath = u"Software\\Vantor\\Brevian";

class EngineModuleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the installation values for `library` with the data folder `data`, as the install
    // step does; off Windows also the engine file's pinned SHA-256.
    void install(const std::filesystem::path& library, const std::filesystem::path& data);
    // Runs init expecting it to end the process; returns the exit status (-1 when init returned).
    int initEndsProcess(SMPLModule& module);
    // Hands a started module one block of 1500 note-ons and checks that the engine got the first
    // 1024 of them, in order, and played them (the block is not silent).
    void expectTheFirst1024Of1500EventsPlayed(SMPLModule& module);
    // True when the log holds a message equal to `first` and, after it, one equal to `second`.
    bool loggedInOrder(const std::string& first, const std::string& second) const;

    LogCapture log_;
    MemoryRegistryStore registry_;
    BoxCapture boxes_;
    DSPInfo info_{48000.0, 256};
    std::filesystem::path scratch_;
};

// A path as the registry holds it (UTF-16).
std::u16string registryText(const std::filesystem::path& path);

} // namespace vantor::test
