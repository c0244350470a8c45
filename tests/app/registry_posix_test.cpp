// Where the POSIX registry file lives.
#include "app/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace vantor;

namespace {

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

} // namespace

TEST(RegistryFilePosix, DefaultLocation) {
    EnvVar explicitFile("QUORVEL_REGISTRY_FILE", nullptr);
    EnvVar home("HOME", "/home/someone");
    {
        EnvVar config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(defaultRegistryFilePath(), "/home/someone/.config/Vantor/registry.txt");
    }
    {
        EnvVar config("XDG_CONFIG_HOME", "/etc/xdg-user");
        EXPECT_EQ(defaultRegistryFilePath(), "/etc/xdg-user/Vantor/registry.txt");
    }
    {
        EnvVar config("XDG_CONFIG_HOME", "not/absolute");
        EXPECT_EQ(defaultRegistryFilePath(), "/home/someone/.config/Vantor/registry.txt");
    }
}

TEST(RegistryFilePosix, TheEnvironmentCanNameTheFile) {
    EnvVar explicitFile("QUORVEL_REGISTRY_FILE", "/tmp/quorvel-registry.txt");
    EnvVar config("XDG_CONFIG_HOME", "/etc/xdg-user");
    EXPECT_EQ(defaultRegistryFilePath(), "/tmp/quorvel-registry.txt");
}
