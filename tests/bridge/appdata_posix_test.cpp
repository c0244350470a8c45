// Where the host looks for its app data folder on POSIX systems.
#include "bridge/AppDataFolder.h"
#include "log/TextConv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace vantor;

namespace {

// Sets or clears an environment variable for the test's lifetime.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

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
