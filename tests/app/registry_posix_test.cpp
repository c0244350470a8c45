// Where the POSIX registry file lives.
#include "app/Registry.h"

#include "support/EnvVar.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantor;
using vantor::test::EnvVar;

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
