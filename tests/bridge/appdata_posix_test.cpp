// Where the host looks for its app data folder on POSIX systems.
#include "bridge/AppDataFolder.h"
#include "log/TextConv.h"

#include "support/EnvVar.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantor;
using vantor::test::EnvVar;

namespace {

std::string folder() {
    return wideToNarrow(appDataFolder());
}

} // namespace

TEST(AppDataFolderPosix, FollowsTheXdgDataHome) {
    EnvVar xdg("XDG_DATA_HOME", "/srv/data/");
    EnvVar home("HOME", "/home/someone");
    EXPECT_EQ(folder(), "/srv/data/Vantor/Quorvel");
}

TEST(AppDataFolderPosix, FallsBackToTheHomeFolder) {
    EnvVar home("HOME", "/home/someone");
    {
        EnvVar xdg("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(folder(), "/home/someone/.local/share/Vantor/Quorvel");
    }
    {
        EnvVar xdg("XDG_DATA_HOME", "relative/dir"); // invalid by the base-directory rules
        EXPECT_EQ(folder(), "/home/someone/.local/share/Vantor/Quorvel");
    }
}

TEST(AppDataFolderPosix, EmptyWhenNothingIsKnown) {
    EnvVar xdg("XDG_DATA_HOME", nullptr);
    EnvVar home("HOME", nullptr);
    EXPECT_EQ(folder(), "");
}

TEST(AppDataFolderPosix, AnOverrideWinsUntilCleared) {
    EnvVar xdg("XDG_DATA_HOME", "/srv/data");
    setAppDataFolderOverride(u"/tmp/elsewhere");
    EXPECT_EQ(folder(), "/tmp/elsewhere");
    setAppDataFolderOverride(u"");
    EXPECT_EQ(folder(), "/srv/data/Vantor/Quorvel");
}
